#include "core/pages/image_pane_state.hpp"

#include "core/shell/service_slot.hpp"

namespace mev {

std::atomic<int> ImageWidth{80};
int IndexTotal = 0;
int IndexChecked = 0;
std::string CurrentImagePath;
std::string ContextImagePath;

namespace {

constexpr int MIN_FIT_WIDTH = 32;
constexpr int FIT_MARGIN = 12;

constinit CServiceSlot<const IIndexWidthSource> g_widthSource;

} // namespace

void SetIndexWidthSource(std::shared_ptr<const IIndexWidthSource> source)
{
    g_widthSource.Set(std::move(source));
}

std::shared_ptr<const IIndexWidthSource> GetIndexWidthSource()
{
    return g_widthSource.Get();
}

int GetThumbnailWidth()
{
    const int width = ImageWidth.load();
    if (width < 0)
        return 0;
    if (width >= MIN_FIT_WIDTH)
        return width;
    int fit = 0;
    if (const auto source = GetIndexWidthSource())
        fit = source->GetIndexClientWidth() - source->GetThumbMetric() - FIT_MARGIN;
    return fit < MIN_FIT_WIDTH ? MIN_FIT_WIDTH : fit;
}

} // namespace mev
