#include "ui/widgets/volume_slider.hpp"

#include <cmath>

#include <glibmm/main.h>
#include <gtkmm/native.h>
#include <gtkmm/window.h>

namespace mev {

CVolumeSlider::CVolumeSlider(std::unique_ptr<IMixer> mixer)
    : Gtk::Scale(Gtk::Orientation::HORIZONTAL), m_volume(std::move(mixer))
{
    add_css_class("mev-volumeslider");
    set_draw_value(false);
    set_digits(0);
    set_round_digits(0);
    set_range(CMixerVolume::MIN_PERCENT, CMixerVolume::MAX_PERCENT);
    set_increments(1, CMixerVolume::PAGE_SIZE);
    set_hexpand(true);
    // A click never takes the keyboard focus from where it was.
    set_focus_on_click(false);
    set_tooltip_text(TOOLTIP);
    gtk_accessible_update_property(GTK_ACCESSIBLE(gobj()), GTK_ACCESSIBLE_PROPERTY_LABEL, "Volume", -1);

    if (!m_volume.IsAvailable()) {
        set_sensitive(false);
        return;
    }
    set_value(GetVolumePercent());

    // Presses and releases are seen before the slider's own gestures claim them.
    m_pointer = Gtk::EventControllerLegacy::create();
    m_pointer->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    m_pointer->signal_event().connect(sigc::mem_fun(*this, &CVolumeSlider::OnPointerEvent), false);
    add_controller(m_pointer);
    signal_change_value().connect(sigc::mem_fun(*this, &CVolumeSlider::OnChangeValue), false);
    m_volume.GetMixer()->SetChangeHandler([this] { SyncFromMixer(); });
}

CVolumeSlider::~CVolumeSlider()
{
    m_dragTimer.disconnect();
    m_focusReturnGone.disconnect();
    if (IMixer* mixer = m_volume.GetMixer())
        mixer->SetChangeHandler({});
}

int CVolumeSlider::GetPosition() const
{
    return static_cast<int>(std::lround(get_value()));
}

void CVolumeSlider::SetVolumePercent(int percent)
{
    if (!m_volume.IsAvailable())
        return;
    percent = CMixerVolume::ClampPercent(percent);
    m_volume.WritePercent(percent);
    set_value(percent);
}

void CVolumeSlider::StepVolume(int step)
{
    if (m_volume.IsAvailable())
        SetVolumePercent(GetVolumePercent() + step);
}

void CVolumeSlider::SyncFromMixer()
{
    if (!m_volume.IsAvailable() || m_buttonDown || IsFollowingDrag())
        return;
    const int percent = GetVolumePercent();
    if (CMixerVolume::IsOutOfStep(GetPosition(), percent))
        set_value(percent);
}

Gtk::Widget* CVolumeSlider::FindTrough()
{
    for (Gtk::Widget* child = get_first_child(); child != nullptr; child = child->get_next_sibling()) {
        if (child->get_css_name() == "trough")
            return child;
    }
    return nullptr;
}

bool CVolumeSlider::OnPointerEvent(const Glib::RefPtr<const Gdk::Event>& event)
{
    const auto type = event->get_event_type();
    if (type == Gdk::Event::Type::BUTTON_RELEASE && event->get_button() == 1) {
        m_buttonDown = false;
        return false;
    }
    if (type != Gdk::Event::Type::BUTTON_PRESS || event->get_button() != 1)
        return false;
    RememberFocus();

    // Beside the trough: silent on the left, full on the right.
    double x = 0, y = 0;
    Gtk::Widget* trough = FindTrough();
    Gtk::Native* native = get_native();
    auto* nativeWidget = dynamic_cast<Gtk::Widget*>(native);
    graphene_rect_t bounds;
    if (trough != nullptr && nativeWidget != nullptr && event->get_position(x, y) &&
        gtk_widget_compute_bounds(trough->gobj(), GTK_WIDGET(gobj()), &bounds)) {
        double sx = 0, sy = 0;
        native->get_surface_transform(sx, sy);
        double px = 0, py = 0;
        nativeWidget->translate_coordinates(*this, x - sx, y - sy, px, py);
        if (px <= bounds.origin.x || px >= bounds.origin.x + bounds.size.width) {
            SetVolumePercent(px <= bounds.origin.x ? CMixerVolume::MIN_PERCENT : CMixerVolume::MAX_PERCENT);
            GiveFocusBack();
            return true;
        }
    }
    // On the trough or the thumb: the mixer follows every 100 ms while the button is held.
    m_buttonDown = true;
    if (!m_dragTimer.connected())
        m_dragTimer = Glib::signal_timeout().connect(sigc::mem_fun(*this, &CVolumeSlider::OnDragTick), DRAG_PERIOD_MS);
    return false;
}

void CVolumeSlider::RememberFocus()
{
    auto* window = dynamic_cast<Gtk::Window*>(get_root());
    Gtk::Widget* focus = window != nullptr ? window->get_focus() : nullptr;
    if (focus == nullptr || focus == this || focus->is_ancestor(*this))
        return;
    m_focusReturnGone.disconnect();
    m_focusReturn = focus;
    m_focusReturnGone = focus->signal_destroy().connect([this] { m_focusReturn = nullptr; });
}

void CVolumeSlider::GiveFocusBack()
{
    // The slider may have taken the focus on the press; it never keeps it.
    if (m_focusReturn != nullptr && m_focusReturn->get_root() == get_root())
        m_focusReturn->grab_focus();
}

bool CVolumeSlider::OnDragTick()
{
    // After the release the last position is written once more, then the timer ends.
    const bool released = !m_buttonDown;
    if (released) {
        m_dragTimer.disconnect();
        GiveFocusBack();
    }
    m_volume.WritePercent(GetPosition());
    SyncFromMixer();
    return !released;
}

bool CVolumeSlider::OnChangeValue(Gtk::ScrollType, double value)
{
    // Keys on the focused slider write at once; a drag is followed by the timer.
    if (!m_buttonDown && !IsFollowingDrag())
        m_volume.WritePercent(CMixerVolume::ClampPercent(static_cast<int>(std::lround(value))));
    return false;
}

} // namespace mev
