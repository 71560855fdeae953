#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "core/pages/results.hpp"

namespace mev {

enum class ScriptPane { Image, Audio, Video };

// What window.external's methods act on; the UI implements it, tests record it.
class IScriptHost {
public:
    virtual ~IScriptHost() = default;
    virtual void PostPaneCommand(ScriptPane pane, int commandId) = 0; // posted, runs later
    virtual void SetStatusText(const std::string& text) = 0;
    virtual bool IsImagePaneVisible() const = 0;
};

// A script object passed as an argument (a player, a DOM element); never looked into.
struct ScriptObject {};
using ScriptValue = std::variant<ScriptObject, std::string, std::int32_t, std::int16_t>;

// The page scripts' window.external: six methods with fixed ids, names matched without
// regard to case.
class CScriptExternal {
public:
    static constexpr int DISPID_INDEX_IMAGE_CLICKED = 1000;
    static constexpr int DISPID_REPORT_INDEX_STATUS = 1001;
    static constexpr int DISPID_REPORT_INDEX_PROGRESS = 1002;
    static constexpr int DISPID_SHOW_INDEX_IMAGE_PATH = 1003;
    static constexpr int DISPID_WMP_AUDIO_DONE = 1004;
    static constexpr int DISPID_WMP_VIDEO_DONE = 1005;
    static constexpr int DISPID_UNKNOWN = -1;

    explicit CScriptExternal(IScriptHost& host);

    // One id per name (DISPID_UNKNOWN for a name not known); S_OK, or
    // DISP_E_UNKNOWNNAME when any name was not found.
    HResult GetIDsOfNames(const std::vector<std::string>& names, std::vector<int>& ids) const;

    // Arguments in script order: the first script argument is args[0]. Unknown ids and
    // arguments of the wrong number or type give DISP_E_MEMBERNOTFOUND and change nothing.
    HResult Invoke(int dispId, const std::vector<ScriptValue>& args);

    // DISP_E_UNKNOWNNAME for a name that is not one of the six.
    HResult InvokeByName(const std::string& name, const std::vector<ScriptValue>& args);

private:
    HResult IndexImageClicked(const std::vector<ScriptValue>& args);
    HResult ReportIndexStatus(const std::vector<ScriptValue>& args);
    HResult ReportIndexProgress(const std::vector<ScriptValue>& args);
    HResult ShowIndexImagePath(const std::vector<ScriptValue>& args);

    IScriptHost& m_host;
};

} // namespace mev
