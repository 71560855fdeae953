#include "core/pages/script_external.hpp"

#include <array>
#include <optional>
#include <string_view>

#include "core/commands/command_ids.hpp"
#include "core/pages/display_text.hpp"
#include "core/pages/image_pane_state.hpp"
#include "core/shell/command_line.hpp"
#include "core/shell/url.hpp"

namespace mev {

namespace {

struct MethodName {
    std::string_view name;
    int id;
};

constexpr std::array<MethodName, 6> METHODS{{
    {"IndexImageClicked", CScriptExternal::DISPID_INDEX_IMAGE_CLICKED},
    {"ReportIndexStatus", CScriptExternal::DISPID_REPORT_INDEX_STATUS},
    {"ReportIndexProgress", CScriptExternal::DISPID_REPORT_INDEX_PROGRESS},
    {"ShowIndexImagePath", CScriptExternal::DISPID_SHOW_INDEX_IMAGE_PATH},
    {"WMPAudioDone", CScriptExternal::DISPID_WMP_AUDIO_DONE},
    {"WMPVideoDone", CScriptExternal::DISPID_WMP_VIDEO_DONE},
}};

int FindMethod(std::string_view name)
{
    for (const auto& method : METHODS) {
        if (EqualsNoCase(method.name, name))
            return method.id;
    }
    return CScriptExternal::DISPID_UNKNOWN;
}

// A 16-bit integer counts as a 32-bit one, widened with its sign.
std::optional<std::int32_t> AsInteger(const ScriptValue& value)
{
    if (const auto* wide = std::get_if<std::int32_t>(&value))
        return *wide;
    if (const auto* narrow = std::get_if<std::int16_t>(&value))
        return static_cast<std::int32_t>(*narrow);
    return std::nullopt;
}

// The path of an image source URL as the page reports it ("file:///a/b%20c.jpg").
std::optional<std::string> SourceToPath(const std::string& source)
{
    std::string path;
    // Pictures are shown by their absolute path: "file:name" names no picture.
    if (!FileUrlToPath(DecodeUrl(source), path) || path.empty() || path.front() != '/')
        return std::nullopt;
    return path;
}

} // namespace

CScriptExternal::CScriptExternal(IScriptHost& host)
    : m_host(host)
{
}

HResult CScriptExternal::GetIDsOfNames(const std::vector<std::string>& names, std::vector<int>& ids) const
{
    ids.clear();
    HResult result = S_OK;
    for (const auto& name : names) {
        const int id = FindMethod(name);
        if (id == DISPID_UNKNOWN)
            result = DISP_E_UNKNOWNNAME;
        ids.push_back(id);
    }
    return result;
}

HResult CScriptExternal::Invoke(int dispId, const std::vector<ScriptValue>& args)
{
    switch (dispId) {
    case DISPID_INDEX_IMAGE_CLICKED:
        return IndexImageClicked(args);
    case DISPID_REPORT_INDEX_STATUS:
        return ReportIndexStatus(args);
    case DISPID_REPORT_INDEX_PROGRESS:
        return ReportIndexProgress(args);
    case DISPID_SHOW_INDEX_IMAGE_PATH:
        return ShowIndexImagePath(args);
    case DISPID_WMP_AUDIO_DONE:
        m_host.PostPaneCommand(ScriptPane::Audio, ID_PRIVATE_AUDIO_DONE);
        return S_OK;
    case DISPID_WMP_VIDEO_DONE:
        m_host.PostPaneCommand(ScriptPane::Video, ID_PRIVATE_VIDEO_DONE);
        return S_OK;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

HResult CScriptExternal::InvokeByName(const std::string& name, const std::vector<ScriptValue>& args)
{
    const int id = FindMethod(name);
    if (id == DISPID_UNKNOWN)
        return DISP_E_UNKNOWNNAME;
    return Invoke(id, args);
}

// (page URL, image source URL): the clicked thumbnail becomes the current image.
HResult CScriptExternal::IndexImageClicked(const std::vector<ScriptValue>& args)
{
    if (args.size() != 2 || !std::holds_alternative<std::string>(args[0])
        || !std::holds_alternative<std::string>(args[1]))
        return DISP_E_MEMBERNOTFOUND;
    if (!m_host.IsImagePaneVisible())
        return S_OK;
    const auto path = SourceToPath(std::get<std::string>(args[1]));
    if (!path)
        return S_OK;
    CurrentImagePath = *path;
    m_host.PostPaneCommand(ScriptPane::Image, ID_PRIVATE_SHOW_IMAGE);
    return S_OK;
}

// (checked, total)
HResult CScriptExternal::ReportIndexStatus(const std::vector<ScriptValue>& args)
{
    if (args.size() != 2)
        return DISP_E_MEMBERNOTFOUND;
    const auto checked = AsInteger(args[0]);
    const auto total = AsInteger(args[1]);
    if (!checked || !total)
        return DISP_E_MEMBERNOTFOUND;
    IndexTotal = *total;
    IndexChecked = *checked;
    return S_OK;
}

// (count): shown in the status line as an unsigned 32-bit number.
HResult CScriptExternal::ReportIndexProgress(const std::vector<ScriptValue>& args)
{
    if (args.size() != 1)
        return DISP_E_MEMBERNOTFOUND;
    const auto count = AsInteger(args[0]);
    if (!count)
        return DISP_E_MEMBERNOTFOUND;
    m_host.SetStatusText(std::to_string(static_cast<std::uint32_t>(*count)));
    return S_OK;
}

// (image source URL): the thumbnail's path in the status line.
HResult CScriptExternal::ShowIndexImagePath(const std::vector<ScriptValue>& args)
{
    if (args.size() != 1 || !std::holds_alternative<std::string>(args[0]))
        return DISP_E_MEMBERNOTFOUND;
    const auto path = SourceToPath(std::get<std::string>(args[0]));
    if (!path)
        return DISP_E_MEMBERNOTFOUND;
    m_host.SetStatusText(ToDisplayText(*path));
    return S_OK;
}

} // namespace mev
