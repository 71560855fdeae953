// The page scripts' calls into the program: method names and arguments of any kind and
// number, as the web view hands them over. Properties: a call either does its one
// documented thing or changes nothing; status texts are UTF-8; image paths come only from
// file: URLs.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "core/pages/image_pane_state.hpp"
#include "core/pages/results.hpp"
#include "core/pages/script_external.hpp"
#include "fuzz_support.hpp"

using namespace mev;

namespace {

class CRecordingHost : public IScriptHost {
public:
    void PostPaneCommand(ScriptPane, int) override { ++commands; }
    void SetStatusText(const std::string& text) override
    {
        FUZZ_CHECK(fuzz::IsUtf8(text));
        ++statusTexts;
    }
    bool IsImagePaneVisible() const override { return visible; }

    bool visible = true;
    int commands = 0;
    int statusTexts = 0;
};

const char* const NAMES[] = {"IndexImageClicked", "ReportIndexStatus", "ReportIndexProgress",
                             "ShowIndexImagePath", "WMPAudioDone", "WMPVideoDone"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    CRecordingHost host;
    host.visible = input.ConsumeBool();
    // A known name in a random spelling, or any text.
    std::string name;
    if (input.ConsumeBool()) {
        name = NAMES[input.ConsumeIntegralInRange<std::size_t>(0, std::size(NAMES) - 1)];
        for (char& c : name) {
            if (input.ConsumeBool() && c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        }
    } else {
        name = input.ConsumeRandomLengthString(32);
    }
    std::vector<ScriptValue> args;
    const int count = input.ConsumeIntegralInRange(0, 17);
    for (int i = 0; i < count && input.remaining_bytes() > 0; ++i) {
        switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0: args.emplace_back(ScriptObject{}); break;
        case 1: args.emplace_back(input.ConsumeRandomLengthString(200)); break;
        case 2: args.emplace_back(input.ConsumeIntegral<std::int32_t>()); break;
        default: args.emplace_back(input.ConsumeIntegral<std::int16_t>()); break;
        }
    }

    CScriptExternal external(host);
    std::vector<int> ids;
    const HResult named = external.GetIDsOfNames({name}, ids);
    FUZZ_CHECK(ids.size() == 1);
    FUZZ_CHECK((named == S_OK) == (ids[0] != CScriptExternal::DISPID_UNKNOWN));

    const std::string imageBefore = CurrentImagePath;
    const HResult result = external.InvokeByName(name, args);
    if (named != S_OK) {
        FUZZ_CHECK(result == DISP_E_UNKNOWNNAME);
    } else {
        FUZZ_CHECK(result == S_OK || result == DISP_E_MEMBERNOTFOUND);
        FUZZ_CHECK(external.Invoke(ids[0], args) == result);
    }
    if (result != S_OK) {
        FUZZ_CHECK(host.commands == 0 && host.statusTexts == 0);
        FUZZ_CHECK(CurrentImagePath == imageBefore);
    }
    FUZZ_CHECK(host.commands <= 2 && host.statusTexts <= 2);
    if (CurrentImagePath != imageBefore)
        FUZZ_CHECK(!CurrentImagePath.empty() && CurrentImagePath[0] == '/' && host.visible);
    FUZZ_CHECK(external.Invoke(input.ConsumeIntegral<int>(), {}) != E_PENDING);
    return 0;
}
