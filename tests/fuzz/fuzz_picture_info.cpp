// What a decode helper sends for a picture's information: anything taken has positive
// sides and fields no longer than the protocol allows, and travels again unchanged.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.hpp"
#include "platform/decode_protocol.hpp"

using namespace mev;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto info = DecodePictureInfo(text);
    if (!info)
        return 0;
    FUZZ_CHECK(info->width > 0 && info->height > 0);
    FUZZ_CHECK(info->make.size() <= 4096 && info->longitudeRef.size() <= 4096);
    const auto again = DecodePictureInfo(EncodePictureInfo(*info));
    FUZZ_CHECK(again && again->width == info->width && again->height == info->height && again->make == info->make
               && again->dateTaken == info->dateTaken && again->longitudeRef == info->longitudeRef);
    return 0;
}
