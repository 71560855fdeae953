#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>

#include <gtkmm/applicationwindow.h>

#include "browser_test_fixture.hpp"
#include "core/shell/url.hpp"

// Xlib's macros clash with glibmm: after every gtkmm header.
#include <gdk/x11/gdkx.h>

namespace mev::test {
namespace {

// Real pointer events through the X server (xdotool), as a user's hover and right click.
class BrowserPointer : public BrowserFixture {
public:
    void SetUp() override
    {
        if (std::system("xdotool version >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "xdotool is missing";
        BrowserFixture::SetUp();
        if (!GDK_IS_X11_SURFACE(window->get_surface()->gobj()))
            GTEST_SKIP() << "not an X11 display";
    }

    // Moves the pointer to (x, y) of the page view, optionally clicking a button there.
    void PointAt(double x, double y, int button = 0)
    {
        GtkWidget* view = GTK_WIDGET(browser->GetWebView());
        GtkNative* native = gtk_widget_get_native(view);
        double nx = 0;
        double ny = 0;
        gtk_widget_translate_coordinates(view, GTK_WIDGET(native), x, y, &nx, &ny);
        double sx = 0;
        double sy = 0;
        gtk_native_get_surface_transform(native, &sx, &sy);
        const auto xid = gdk_x11_surface_get_xid(gtk_native_get_surface(native));
        std::ostringstream command;
        command << "xdotool mousemove --window " << xid << ' ' << std::lround(nx + sx) << ' ' << std::lround(ny + sy);
        if (button != 0)
            command << " click " << button;
        ASSERT_EQ(std::system(command.str().c_str()), 0) << command.str();
        RunMainLoopFor(150);
    }

    // The centre of the element the expression names, in page coordinates.
    bool CentreOf(const std::string& element, double& x, double& y)
    {
        const std::string json = Eval("(function (r) { return [r.left + r.width / 2, r.top + r.height / 2]; })(" + element
                                      + ".getBoundingClientRect())");
        return std::sscanf(json.c_str(), "[%lf,%lf]", &x, &y) == 2;
    }
};

struct MenuCall {
    int menuId = 0;
    double x = 0;
    double y = 0;
    std::string imagePath;
};

TEST_F(BrowserPointer, RightClickShowsTheProgramsMenuWithThePictureUnderThePointer)
{
    CTempFolder folder;
    const std::string picture = folder.File("right & click #1.png");
    ASSERT_TRUE(WritePicture(picture, 120, 90));
    ASSERT_TRUE(NavigateAndWait(*browser, "mev://images/?" + folder.Path()));
    ASSERT_TRUE(WaitFor("document.images[0].naturalWidth", "120"));
    double px = 0;
    double py = 0;
    ASSERT_TRUE(CentreOf("document.images[0]", px, py));

    std::vector<MenuCall> calls;
    SetContextMenuProvider([&](int menuId, Gtk::Widget& widget, double x, double y, const std::string& imagePath) {
        EXPECT_EQ(&widget, &browser->GetWidget());
        calls.push_back({menuId, x, y, imagePath});
    });

    // Menu id 0: no menu at all, the engine's own included.
    PointAt(px, py, 3);
    EXPECT_TRUE(calls.empty());

    browser->SetContextMenuId(141);
    PointAt(px, py, 3);
    ASSERT_TRUE(RunMainLoopUntil([&] { return calls.size() == 1; }));
    EXPECT_EQ(calls[0].menuId, 141);
    EXPECT_EQ(calls[0].imagePath, picture);
    EXPECT_NEAR(calls[0].x, px, 2.0);
    EXPECT_NEAR(calls[0].y, py, 2.0);

    // On the page background there is no picture.
    PointAt(400, 400, 3);
    ASSERT_TRUE(RunMainLoopUntil([&] { return calls.size() == 2; }));
    EXPECT_EQ(calls[1].menuId, 141);
    EXPECT_EQ(calls[1].imagePath, "");

    // A picture that has gone by the time of the click gives no path either.
    ASSERT_TRUE(std::filesystem::remove(picture));
    PointAt(px, py, 3);
    ASSERT_TRUE(RunMainLoopUntil([&] { return calls.size() == 3; }));
    EXPECT_EQ(calls[2].imagePath, "");
}

TEST_F(BrowserPointer, HoveringALinkShowsItInTheStatusLineOfTheVisibleBrowserOnly)
{
    ASSERT_TRUE(NavigateAndWait(*browser, GetFrontPageUrl()));
    double lx = 0;
    double ly = 0;
    ASSERT_TRUE(CentreOf("document.querySelector('a')", lx, ly));
    const std::string href = Eval("document.querySelector('a').href");
    ASSERT_GT(href.size(), 2u);
    const std::string link = href.substr(1, href.size() - 2);

    std::vector<std::string> texts;
    browser->signal_status_text().connect([&](const std::string& text) { texts.push_back(text); });

    PointAt(5, 5);
    PointAt(lx, ly);
    ASSERT_TRUE(RunMainLoopUntil([&] { return !texts.empty(); }));
    EXPECT_EQ(texts.back(), link);
    PointAt(5, 5);
    ASSERT_TRUE(RunMainLoopUntil([&] { return texts.back().empty(); }));

    // Parked off screen: nothing reaches the status line.
    browser->SetOffScreen(true);
    const auto before = texts.size();
    PointAt(lx, ly);
    PointAt(5, 5);
    EXPECT_EQ(texts.size(), before);
}

TEST(BrowserKeys, ApplicationAcceleratorsReachTheirActionsWhileAPageHasTheFocus)
{
    if (std::system("xdotool version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xdotool is missing";
    auto application = GetTestApplication();
    ASSERT_TRUE(application);
    Gtk::ApplicationWindow window;
    application->add_window(window);
    window.set_default_size(400, 300);
    CPageBrowser browser;
    window.set_child(browser.GetWidget());
    std::vector<std::string> fired;
    for (const char* name : {"f9", "f12", "escape"})
        window.add_action(name, [&fired, name] { fired.emplace_back(name); });
    application->set_accels_for_action("win.f9", {"F9"});
    application->set_accels_for_action("win.f12", {"F12"});
    application->set_accels_for_action("win.escape", {"Escape"});
    window.present();
    ASSERT_TRUE(NavigateAndWait(browser, GetFrontPageUrl()));
    browser.GetWidget().grab_focus();
    ASSERT_TRUE(RunMainLoopUntil([&] { return browser.GetWidget().has_focus(); }));

    const auto xid = gdk_x11_surface_get_xid(window.get_surface()->gobj());
    const std::string command = "xdotool key --window " + std::to_string(xid) + " F9 F12 Escape";
    // Key events go to the window that has the X input focus.
    std::system(("xdotool windowfocus --sync " + std::to_string(xid) + " >/dev/null 2>&1").c_str());
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_TRUE(RunMainLoopUntil([&] { return fired.size() == 3; }));
    EXPECT_EQ(fired, (std::vector<std::string>{"f9", "f12", "escape"}));

    for (const char* name : {"win.f9", "win.f12", "win.escape"})
        application->unset_accels_for_action(name);
    window.unset_child();
    application->remove_window(window);
}

} // namespace
} // namespace mev::test
