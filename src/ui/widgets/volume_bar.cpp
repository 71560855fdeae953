#include "ui/widgets/volume_bar.hpp"

#include <gtkmm/cssprovider.h>
#include <gtkmm/stylecontext.h>

namespace mev {

namespace {

// A slim slider for the status bar, with room beside its trough where a click means
// silent (left) or full volume (right).
const char* const STYLES = R"css(
.mev-volumebar scale { padding: 0 8px; min-height: 14px; }
.mev-volumebar scale slider { min-width: 12px; min-height: 12px; margin: -5px; }
)css";

} // namespace

CVolumeBar::CVolumeBar(std::unique_ptr<IMixer> mixer)
    : Gtk::Box(Gtk::Orientation::HORIZONTAL, 0), m_slider(std::move(mixer))
{
    static Glib::RefPtr<Gtk::CssProvider> provider;
    if (!provider) {
        provider = Gtk::CssProvider::create();
        provider->load_from_data(STYLES);
        Gtk::StyleContext::add_provider_for_display(get_display(), provider, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    }
    add_css_class("mev-volumebar");
    set_hexpand(true);
    append(m_slider);
}

} // namespace mev
