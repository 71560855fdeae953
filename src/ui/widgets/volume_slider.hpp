#pragma once

#include <memory>

#include <gtkmm/eventcontrollerlegacy.h>
#include <gtkmm/scale.h>

#include "core/players/mixer_volume.hpp"

namespace mev {

// The master-volume slider, 0 to 100 percent, bound to the system mixer. Keys, wheel,
// clicks and drags set the mixer; the slider follows the mixer when it is changed from
// outside by 3 points or more. Without a mixer it stays disabled and nothing moves it.
class CVolumeSlider : public Gtk::Scale {
public:
    static constexpr const char* TOOLTIP =
        "Volume:\nCtrl+Left:  Decrease 2%\nCtrl+Right:  Increase 2%\nCtrl+Up:  Max\nCtrl+Down:  Silent\n"
        "Ctrl+Numpad 0 ~ Numpad 9:  0% ~ 90%\nMouse Wheel is supported.";
    static constexpr unsigned DRAG_PERIOD_MS = 100;

    // mixer may be nullptr or closed: the slider is then disabled.
    explicit CVolumeSlider(std::unique_ptr<IMixer> mixer);
    ~CVolumeSlider() override;

    // Clamps to 0..100, writes the mixer and moves the slider there.
    void SetVolumePercent(int percent);
    // SetVolumePercent of the mixer's volume plus step.
    void StepVolume(int step);
    int GetVolumePercent() const { return m_volume.GetVolumePercent(); }
    // Moves the slider to the mixer's volume when they differ by 3 points or more;
    // nothing while the button is held on the slider or a drag is being followed.
    void SyncFromMixer();

    int GetPosition() const;
    bool IsFollowingDrag() const { return m_dragTimer.connected(); }

private:
    bool OnPointerEvent(const Glib::RefPtr<const Gdk::Event>& event);
    bool OnChangeValue(Gtk::ScrollType scroll, double value);
    bool OnDragTick();
    Gtk::Widget* FindTrough();
    void RememberFocus();
    void GiveFocusBack();

    CMixerVolume m_volume;
    Glib::RefPtr<Gtk::EventControllerLegacy> m_pointer;
    sigc::connection m_dragTimer;
    Gtk::Widget* m_focusReturn = nullptr;  // had the keyboard focus before a press here
    sigc::connection m_focusReturnGone;
    bool m_buttonDown = false;
};

} // namespace mev
