#include "ui/players/volume_bar.hpp"

namespace mev {

CVolumeBar::CVolumeBar(std::unique_ptr<IMixer> mixer)
    : Gtk::Box(Gtk::Orientation::HORIZONTAL, 0), m_slider(std::move(mixer))
{
    add_css_class("mev-volumebar");
    set_hexpand(true);
    append(m_slider);
}

} // namespace mev
