#include "core/thumbs/picture_decoder.hpp"

#include "core/shell/service_slot.hpp"

namespace mev {

namespace {

constinit CServiceSlot<const IPictureDecoder> g_decoder;

} // namespace

bool IsDecodeSizeAllowed(std::uint64_t width, std::uint64_t height)
{
    if (width == 0 || height == 0)
        return false;
    return width <= MAX_DECODE_PIXELS / height;
}

void SetPictureDecoder(std::shared_ptr<const IPictureDecoder> decoder)
{
    g_decoder.Set(std::move(decoder));
}

std::shared_ptr<const IPictureDecoder> GetPictureDecoder()
{
    return g_decoder.Get();
}

} // namespace mev
