#include "ui/app/display_info.hpp"

#include <cmath>

#include <gdkmm/display.h>
#include <gdkmm/monitor.h>
#include <giomm/listmodel.h>

namespace mev {

CDisplayInfo::CDisplayInfo()
{
    auto display = Gdk::Display::get_default();
    if (!display)
        return;
    auto monitors = display->get_monitors();
    if (!monitors || monitors->get_n_items() == 0)
        return;
    auto monitor = std::dynamic_pointer_cast<Gdk::Monitor>(monitors->get_object(0));
    if (!monitor)
        return;
    Gdk::Rectangle area;
    monitor->get_geometry(area);
    if (area.get_width() <= 0 || area.get_height() <= 0)
        return;
    m_width = area.get_width();
    m_height = area.get_height();
    m_hasDisplay = true;
    // Millimetres are 0 on displays that do not report them (Xvfb, some projectors).
    const int mmWidth = monitor->get_width_mm();
    const int mmHeight = monitor->get_height_mm();
    if (mmWidth > 0)
        m_dpiX = static_cast<int>(std::lround(m_width * 25.4 / mmWidth));
    if (mmHeight > 0)
        m_dpiY = static_cast<int>(std::lround(m_height * 25.4 / mmHeight));
}

} // namespace mev
