#include "core/thumbs/picture_decoder.hpp"

#include <mutex>

namespace mev {

namespace {

std::mutex g_decoderMutex;
std::shared_ptr<const IPictureDecoder> g_decoder;

} // namespace

bool IsDecodeSizeAllowed(std::uint64_t width, std::uint64_t height)
{
    if (width == 0 || height == 0)
        return false;
    return width <= MAX_DECODE_PIXELS / height;
}

void SetPictureDecoder(std::shared_ptr<const IPictureDecoder> decoder)
{
    std::lock_guard lock(g_decoderMutex);
    g_decoder = std::move(decoder);
}

std::shared_ptr<const IPictureDecoder> GetPictureDecoder()
{
    std::lock_guard lock(g_decoderMutex);
    return g_decoder;
}

} // namespace mev
