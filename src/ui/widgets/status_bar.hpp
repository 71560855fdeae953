#pragma once

#include <string>

#include <gtkmm/box.h>
#include <gtkmm/label.h>

namespace mev {

// The main window's status bar: pane 0 is the message line, pane 1 is kept for the
// volume slider, panes 2 and 3 show "Total:" and "Selected:" of the page on screen.
class CStatusBar : public Gtk::Box {
public:
    static constexpr int PANE_COUNT = 4;
    static constexpr const char* IDLE_MESSAGE = "Ready";

    CStatusBar();

    // The message line; an empty text shows the idle message.
    void SetMessageText(const std::string& text);
    // What the message line shows when no message is up; empty for IDLE_MESSAGE.
    void SetIdleMessage(const std::string& text);
    void SetPaneText(int pane, const std::string& text);
    std::string GetPaneText(int pane) const;

    // The box of a pane, for a control laid over it (the volume slider in pane 1).
    Gtk::Box& GetPaneBox(int pane);

private:
    Gtk::Box m_panes[PANE_COUNT];
    Gtk::Label m_labels[PANE_COUNT];
    std::string m_message;
    std::string m_idleMessage = IDLE_MESSAGE;
};

} // namespace mev
