// The shared-mime-info glob files (globs2 and the older globs) as the media kinds read
// them: lines of any shape are skipped or taken, and a plain "*.ext" glob of an image,
// audio or video type is always taken.
#include <cstddef>
#include <cstdint>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "core/media/media_kinds.hpp"
#include "fuzz_support.hpp"

using namespace mev;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const bool weighted = input.ConsumeBool();
    const std::string extension = input.ConsumeRandomLengthString(12);
    const std::string text = input.ConsumeRemainingBytesAsString();
    const std::string folder = fuzz::FreshFolder("globs");
    std::filesystem::create_directories(folder + "/mime");
    // A known good line after the fuzzed text must still count.
    bool plain = !extension.empty();
    for (char c : extension)
        plain = plain && c != '*' && c != '?' && c != '[' && c != ']' && c != '\\' && c != ':' && c != '.' && c != '\n' && c != '\r';
    const std::string line = plain ? (weighted ? "50:" : "") + std::string("video/x-fuzz:*.") + extension + "\n" : "";
    fuzz::WriteBytes(folder + (weighted ? "/mime/globs2" : "/mime/globs"), text + "\n" + line);
    CMediaKinds kinds;
    kinds.BuildFrom({folder});
    FUZZ_CHECK(kinds.Contains(MediaKind::Audio, ".mp3"));
    if (plain)
        FUZZ_CHECK(kinds.Contains(MediaKind::Video, CMediaKinds::KeyOf("x." + extension)));
    (void)kinds.Contains(MediaKind::Image, CMediaKinds::KeyOf(text));
    return 0;
}
