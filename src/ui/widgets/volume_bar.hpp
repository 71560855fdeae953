#pragma once

#include <memory>

#include <gtkmm/box.h>

#include "ui/widgets/volume_slider.hpp"

namespace mev {

// The holder of the volume slider laid over the status bar's volume pane.
class CVolumeBar : public Gtk::Box {
public:
    explicit CVolumeBar(std::unique_ptr<IMixer> mixer);

    CVolumeSlider& GetSlider() { return m_slider; }

private:
    CVolumeSlider m_slider;
};

} // namespace mev
