#include "ui/widgets/volume_slider.hpp"

#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <gtkmm.h>

#include "core/commands/command_ids.hpp"
#include "core/players/mixer.hpp"
#include "core/shell/command_line.hpp"
#include "core/shell/program_path.hpp"
#include "ui/app/main_frame.hpp"
#include "ui/ui_test_support.hpp"

namespace mev {
namespace {

// The state of a pretend sound device, shared by the test and the mixer the frame opens.
struct FakeDevice {
    bool open = true;
    unsigned long maximum = 65535;
    unsigned long value = 0;
    int writes = 0;
    std::function<void()> changed;

    int Percent() const { return static_cast<int>((value * 100 + maximum / 2) / maximum); }
    void SetFromOutside(int percent)
    {
        value = maximum * static_cast<unsigned long>(percent) / 100;
        if (changed)
            changed();
    }
};

class CFakeMixer : public IMixer {
public:
    explicit CFakeMixer(FakeDevice& device) : m_device(device) {}
    bool IsOpen() const override { return m_device.open; }
    std::optional<unsigned long> GetMaximum() override { return m_device.maximum; }
    std::optional<unsigned long> ReadValue() override { return m_device.value; }
    bool WriteValue(unsigned long value) override
    {
        m_device.value = value;
        ++m_device.writes;
        return true;
    }
    void SetChangeHandler(std::function<void()> handler) override { m_device.changed = std::move(handler); }

private:
    FakeDevice& m_device;
};

class CNoTarget : public ICommandTarget {
public:
    bool OnUpdateCommand(CCmdUI&) override { return false; }
    bool OnCommand(int) override { return false; }
};

// A main window whose volume bar opens the fake device.
class VolumeSliderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CCommandActions::InstallAccelerators(*test::GetTestApplication()); }

    void StartFrame(std::vector<std::string> args = {"mev"})
    {
        SetMixerFactory([this] { return std::make_unique<CFakeMixer>(device); });
        SetCommandLine(std::move(args));
        frame = std::make_unique<CMainFrame>(*test::GetTestApplication(), appTarget);
        test::GetTestApplication()->add_window(*frame);
        frame->Start();
        frame->set_default_size(1000, 700);
        frame->present();
        ASSERT_TRUE(test::RunMainLoopUntil([this] { return frame->get_mapped() && frame->GetVolumeBar(); }));
        ASSERT_TRUE(test::RunMainLoopUntil([this] { return Slider().get_width() > 0; }));
        ASSERT_TRUE(test::XdoTool("search --sync --onlyvisible --name '^MEV - Untitled$' windowfocus --sync"));
    }
    void TearDown() override
    {
        if (frame) {
            frame->close();
            test::RunMainLoopFor(50);
            frame.reset();
        }
        SetMixerFactory({});
    }

    CVolumeSlider& Slider() { return frame->GetVolumeBar()->GetSlider(); }

    // Presses keys and waits until the device shows percent.
    bool KeyGives(const std::string& keys, int percent)
    {
        return test::XdoTool("key " + keys) &&
               test::RunMainLoopUntil([&] { return device.Percent() == percent && Slider().GetPosition() == percent; });
    }

    // xdotool arguments that put the pointer at (x, y) of the slider.
    std::string PointerAt(double x, double y)
    {
        double wx = 0, wy = 0, sx = 0, sy = 0;
        Slider().translate_coordinates(*frame, x, y, wx, wy);
        frame->get_surface_transform(sx, sy);  // the X window holds the frame's shadow too
        wx += sx;
        wy += sy;
        return "search --sync --onlyvisible --name '^MEV - Untitled$' mousemove --window %1 " +
               std::to_string(static_cast<int>(wx)) + " " + std::to_string(static_cast<int>(wy));
    }

    FakeDevice device;
    CNoTarget appTarget;
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(VolumeSliderTest, KeysWheelClicksAndOutsideChangesMoveTheVolume)
{
    device.value = device.maximum / 2;
    StartFrame();
    EXPECT_TRUE(Slider().get_sensitive());
    EXPECT_EQ(Slider().GetPosition(), 50);
    EXPECT_EQ(frame->GetStatusBar().GetPaneText(1), "");
    EXPECT_NE(std::string(Slider().get_tooltip_text()).find("Decrease 2%"), std::string::npos);

    // The keys work while a browser pane has the focus, and leave it there.
    Gtk::Widget& browser = frame->GetTabCtrl().GetSelectedPage()->GetBrowser().GetWidget();
    browser.grab_focus();
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return browser.has_focus(); }));
    EXPECT_TRUE(KeyGives("ctrl+KP_7", 70));
    EXPECT_TRUE(KeyGives("ctrl+Up", 100));
    EXPECT_TRUE(KeyGives("ctrl+Right", 100));
    EXPECT_TRUE(KeyGives("ctrl+Left", 98));
    EXPECT_TRUE(KeyGives("ctrl+Down", 0));
    EXPECT_TRUE(KeyGives("ctrl+Left", 0));
    EXPECT_TRUE(KeyGives("ctrl+Right", 2));

    // One step per wheel turn over the slider.
    const int w = Slider().get_width(), h = Slider().get_height();
    ASSERT_TRUE(test::XdoTool(PointerAt(w / 2.0, h / 2.0) + " click 4 click 4 click 4"));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return device.Percent() == 8; })) << device.Percent();
    ASSERT_TRUE(test::XdoTool(PointerAt(w / 2.0, h / 2.0) + " click 5"));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return device.Percent() == 6; })) << device.Percent();

    // Another program's changes: small ones are rounding and leave the slider alone.
    device.SetFromOutside(50);
    EXPECT_EQ(Slider().GetPosition(), 50);
    device.SetFromOutside(52);
    EXPECT_EQ(Slider().GetPosition(), 50);
    device.SetFromOutside(60);
    EXPECT_EQ(Slider().GetPosition(), 60);

    // Beside the trough (in the slider's padding, outside its content width): 0 on the
    // left, 100 on the right; the focus stays in the browser.
    ASSERT_TRUE(test::XdoTool(PointerAt(-4, h / 2.0) + " click 1"));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return device.Percent() == 0 && Slider().GetPosition() == 0; }));
    ASSERT_TRUE(test::XdoTool(PointerAt(w + 4, h / 2.0) + " click 1"));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return device.Percent() == 100; }));

    // Dragging: the device follows while the button is held, and outside changes wait.
    ASSERT_TRUE(test::XdoTool(PointerAt(w - 10, h / 2.0) + " mousedown 1"));
    ASSERT_TRUE(test::XdoTool(PointerAt(w / 2.0, h / 2.0)));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return device.Percent() > 20 && device.Percent() < 80; }))
        << device.Percent();
    const int dragged = Slider().GetPosition();
    device.SetFromOutside(5);
    EXPECT_EQ(Slider().GetPosition(), dragged);
    ASSERT_TRUE(test::XdoTool("mouseup 1"));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return !Slider().IsFollowingDrag(); }));
    EXPECT_EQ(device.Percent(), dragged);
    EXPECT_TRUE(browser.has_focus());
}

TEST_F(VolumeSliderTest, WithoutMixerTheSliderIsDisabledAndKeysDoNothing)
{
    device.open = false;
    device.value = device.maximum / 2;
    StartFrame();
    EXPECT_FALSE(Slider().get_sensitive());
    ASSERT_TRUE(test::XdoTool("key ctrl+Up ctrl+KP_3"));
    test::RunMainLoopFor(300);
    EXPECT_EQ(device.writes, 0);
    EXPECT_EQ(device.Percent(), 50);
}

TEST_F(VolumeSliderTest, CreateAutorunWritesBesideTheProgramAndReports)
{
    // The start page shows the program's own folder, which the autorun file may name.
    StartFrame({"mev", "Images=" + GetProgramFolder(), "show=Images"});
    CMediaTabCtrl& tabs = frame->GetTabCtrl();
    ASSERT_TRUE(test::RunMainLoopUntil(
        [&] { return tabs.GetSelectedPage()->GetTree().GetRootPath() == GetProgramFolder(); }));
    frame->UpdateIdleState();
    EXPECT_TRUE(frame->GetActions().FindMenuAction(ID_FILE_CREATE_AUTORUN)->get_enabled());
    const std::string inf = GetProgramFolder() + "/AUTORUN.INF", script = GetProgramFolder() + "/autorun.sh";
    ASSERT_TRUE(frame->RouteCommand(ID_FILE_CREATE_AUTORUN));
    Gtk::MessageDialog* dialog = nullptr;
    ASSERT_TRUE(test::RunMainLoopUntil(
        [&] {
            for (Gtk::Window* w : Gtk::Window::list_toplevels()) {
                if (auto* d = dynamic_cast<Gtk::MessageDialog*>(w); d != nullptr && d->get_visible())
                    dialog = d;
            }
            return dialog != nullptr;
        }));
    EXPECT_EQ(std::string(dialog->property_text().get_value()), "Done.\nAutorun.inf has been saved as:\n" + inf);
    dialog->response(Gtk::ResponseType::OK);
    EXPECT_TRUE(std::filesystem::exists(inf));
    EXPECT_TRUE(std::filesystem::exists(script));
    std::filesystem::remove(inf);
    std::filesystem::remove(script);
}

} // namespace
} // namespace mev
