#include "ui/pages/audio_page.hpp"
#include "ui/pages/video_page.hpp"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <glib.h>
#include <gtest/gtest.h>
#include <gtkmm.h>

#include "core/app/start_paths.hpp"
#include "core/commands/command_ids.hpp"
#include "core/media/media_kinds.hpp"
#include "core/pages/media_support.hpp"
#include "core/pages/page_url.hpp"
#include "core/shell/command_line.hpp"
#include "core/shell/file_names.hpp"
#include "core/shell/url.hpp"
#include "ui/web/browser_engine.hpp"
#include "ui/web/page_browser.hpp"
#include "ui/ui_test_support.hpp"
#include "player_test_host.hpp"

namespace mev {
namespace {

using test::CPlayerHost;
using test::CTempFolder;
using test::RunMainLoopUntil;

// Short clips made with GStreamer's own tools: a sine tone of about half a second, the
// same in other containers, and a 2.5 s tone that is still playing when a test acts.
bool MakeClip(const std::string& path, double seconds)
{
    const int buffers = static_cast<int>(seconds * 44100 / 1024) + 1;
    const std::string tone = "audiotestsrc num-buffers=" + std::to_string(buffers)
        + " samplesperbuffer=1024 ! audio/x-raw,rate=44100,channels=1 ! audioconvert";
    const std::string ext = GetFileExtension(path);
    std::string pipeline;
    if (ext == "mp3")
        pipeline = tone + " ! lamemp3enc";
    else if (ext == "ogg")
        pipeline = tone + " ! vorbisenc ! oggmux";
    else if (ext == "flac")
        pipeline = tone + " ! flacenc";
    else if (ext == "wav")
        pipeline = tone + " ! wavenc";
    else if (ext == "mp4")
        pipeline = "videotestsrc num-buffers=15 ! video/x-raw,width=176,height=144,framerate=30/1 ! videoconvert"
                   " ! openh264enc ! h264parse ! mux. " + tone + " ! avenc_aac ! aacparse ! mux. mp4mux name=mux";
    const std::string command =
        "gst-launch-1.0 -q " + pipeline + " ! filesink location='" + path + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0 && std::filesystem::file_size(path) > 0;
}

class PlayerPageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!IsMediaPlayerInstalled() || std::system("gst-launch-1.0 --version >/dev/null 2>&1") != 0)
            return;
        s_clips = new CTempFolder();
        s_ready = MakeClip(s_clips->File("0 long.mp3"), 2.5);
        for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
            s_ready = s_ready && MakeClip(s_clips->File(name), 0.4);
    }
    static void TearDownTestSuite()
    {
        delete s_clips;
        s_clips = nullptr;
    }

    void SetUp() override
    {
        if (!s_ready)
            GTEST_SKIP() << "no GStreamer playback or no gst-launch-1.0 to make clips";
        SetScriptHost(&host);
        window = std::make_unique<Gtk::Window>();
        window->set_default_size(1000, 700);
        window->set_title("mev player page test");
        page = std::make_unique<CAudioPage>(host);
        host.page = page.get();
        window->set_child(*page);
        window->present();
        ASSERT_TRUE(RunMainLoopUntil([this] { return page->IsStarted() && page->GetFileList() != nullptr; }));
        test::RecordPlayedPages(page->GetBrowser(), played);
        Fill(s_clips->Path(), 4);
    }
    void TearDown() override
    {
        SetScriptHost(nullptr);
        if (!window)
            return;
        window->unset_child();
        page.reset();
        window->destroy();
    }

    void Fill(const std::string& folder, int rows)
    {
        list().FillFolder(folder, MediaKind::Audio, false);
        ASSERT_TRUE(RunMainLoopUntil([&] { return !list().IsFilling(); }));
        ASSERT_EQ(list().GetCount(), rows);
    }

    CFileListCtrl& list() { return *page->GetFileList(); }

    // A click on the row as the list reports it.
    void Click(int row)
    {
        list().SelectOnly(row);
        page->OnCommand(ID_PRIVATE_LIST_SELECTED);
    }

    // Playing for real: a file that cannot be opened also counts as busy until its error.
    bool Busy()
    {
        std::string json;
        return test::EvaluateInPage(page->GetBrowser(), "typeof GetBusy === 'function' && GetBusy() && MediaElement().currentTime > 0", json, 5000)
            && json == "true";
    }

    CCmdUI Update(int id)
    {
        CCmdUI ui;
        ui.id = id;
        EXPECT_TRUE(page->OnUpdateCommand(ui)) << id;
        return ui;
    }

    using Names = std::vector<std::string>;

    static CTempFolder* s_clips;
    static bool s_ready;
    CPlayerHost host;
    std::unique_ptr<Gtk::Window> window;
    std::unique_ptr<CAudioPage> page;
    Names played;
};

CTempFolder* PlayerPageTest::s_clips = nullptr;
bool PlayerPageTest::s_ready = false;

TEST_F(PlayerPageTest, AutoPlayPlaysTheCheckedFilesInTurnAndEndsAfterTheLast)
{
    for (int row : {1, 2, 3})
        list().SetChecked(row, true);
    page->OnCommand(ID_LIST_AUTOPLAY);
    EXPECT_TRUE(page->IsAutoPlayOn());
    // The page may tell of the last file's end before it answers the turn to it.
    ASSERT_TRUE(RunMainLoopUntil([&] { return !page->IsAutoPlayOn() && played.size() >= 3; }, 2 * test::EVENT_WAIT_MS));
    EXPECT_EQ(played, (Names{"a.mp3", "b.mp3", "c.mp3"}));
    // The last file's page stays, and its row is the selected one.
    EXPECT_EQ(page->GetBrowser().GetLocationUrl(), page->GetPageUrl(s_clips->File("c.mp3")));
    EXPECT_EQ(list().GetSelectedRow(), 3);
}

// The page's own bar, not the engine's controls: its buttons, track and keys pause,
// mute, move and play the file, and it shows the file's name and length.
TEST_F(PlayerPageTest, ThePagesOwnBarPausesMutesSeeksAndPlaysTheFile)
{
    Click(0);
    ASSERT_TRUE(RunMainLoopUntil([&] { return Busy(); }));
    CPageBrowser& browser = page->GetBrowser();
    std::string state;
    ASSERT_TRUE(RunMainLoopUntil([&] {
        return test::EvaluateInPage(browser, "[MediaElement().controls, Control('title').textContent, Control('length').textContent]", state)
            && state == "[false,\"0 long.mp3\",\"0:02\"]";
    })) << state;
    // The buttons show what a click now does once the element has told its new state.
    ASSERT_TRUE(test::EvaluateInPage(browser, "Control('play').click(); Control('mute').click(); 0", state));
    EXPECT_TRUE(RunMainLoopUntil([&] {
        return test::EvaluateInPage(browser, "[MediaElement().paused, Control('play').title, MediaElement().muted, Control('mute').title]", state)
            && state == "[true,\"Play\",true,\"Unmute\"]";
    })) << state;
    // The track moved to its middle takes the file there.
    ASSERT_TRUE(test::EvaluateInPage(browser, "var seek = Control('seek'); seek.value = 500; seek.dispatchEvent(new Event('input'));"
        "Math.abs(MediaElement().currentTime - MediaElement().duration / 2) < 0.2", state));
    EXPECT_EQ(state, "true");
    ASSERT_TRUE(test::EvaluateInPage(browser, "document.body.dispatchEvent(new KeyboardEvent('keydown', {key: ' ', bubbles: true})); 0", state));
    EXPECT_TRUE(RunMainLoopUntil([&] {
        return test::EvaluateInPage(browser, "[MediaElement().paused || MediaElement().ended, Control('play').title]", state)
            && state == "[false,\"Pause\"]";
    })) << state;
}

TEST_F(PlayerPageTest, WithLoopTheFirstCheckedFileFollowsTheLast)
{
    page->OnCommand(ID_VIEW_LOOP);
    list().SetChecked(1, true);
    list().SetChecked(3, true);
    page->OnCommand(ID_LIST_AUTOPLAY);
    ASSERT_TRUE(RunMainLoopUntil([&] { return played.size() >= 3; }, 2 * test::EVENT_WAIT_MS));
    EXPECT_EQ(played, (Names{"a.mp3", "c.mp3", "a.mp3"}));
    EXPECT_TRUE(page->IsAutoPlayOn());
}

TEST_F(PlayerPageTest, AutoPlaySwitchedOnWhileAFilePlaysWaitsForItsEnd)
{
    Click(0);
    ASSERT_TRUE(RunMainLoopUntil([&] { return Busy(); }));
    const auto playing = std::chrono::steady_clock::now();
    list().SetChecked(1, true);
    page->OnCommand(ID_LIST_AUTOPLAY);
    test::RunMainLoopFor(300);
    // The 2.5 s file still plays, unless a busy machine took most of that time since it
    // was seen playing: then it may have ended on its own, and nothing can be told.
    if (std::chrono::steady_clock::now() - playing < std::chrono::milliseconds(1500)) {
        EXPECT_EQ(page->GetBrowser().GetLocationUrl(), page->GetPageUrl(s_clips->File("0 long.mp3")));
    }
    ASSERT_TRUE(RunMainLoopUntil([&] { return played.size() >= 2; }));
    EXPECT_EQ(played, (Names{"0 long.mp3", "a.mp3"}));
}

// The long file plays long enough for the page to load the next one beside it, and to
// start it itself as the long one ends.
TEST_F(PlayerPageTest, AFileLoadedBesideTheOneThatPlaysFollowsIt)
{
    list().SetChecked(0, true);
    list().SetChecked(2, true);
    page->OnCommand(ID_LIST_AUTOPLAY);
    ASSERT_TRUE(RunMainLoopUntil([&] { return !page->IsAutoPlayOn(); }, 2 * test::EVENT_WAIT_MS));
    EXPECT_EQ(played, (Names{"0 long.mp3", "b.mp3"}));
    std::string src;
    ASSERT_TRUE(test::EvaluateInPage(page->GetBrowser(), "MediaElement().getAttribute('src')", src));
    EXPECT_EQ(src, "\"" + MakeFileUrl(s_clips->File("b.mp3")) + "\"");
}

TEST_F(PlayerPageTest, AutoPlaySwitchedOffWhileAFilePlaysLetsNothingFollow)
{
    list().SetChecked(0, true);
    list().SetChecked(1, true);
    page->OnCommand(ID_LIST_AUTOPLAY);
    // Once the page has the next file loaded beside the long one.
    std::string ready;
    ASSERT_TRUE(RunMainLoopUntil([&] {
        return !host.done.empty()
            || (test::EvaluateInPage(page->GetBrowser(), "SpareReady()", ready, 5000) && ready == "true");
    }));
    if (!host.done.empty())
        GTEST_SKIP() << "the long file ended before the next one was loaded (a busy machine)";
    page->OnCommand(ID_LIST_AUTOPLAY);
    EXPECT_FALSE(page->IsAutoPlayOn());
    ASSERT_TRUE(RunMainLoopUntil([&] { return !host.done.empty(); }));
    // The page had the next file loaded, and keeps to the one that ended.
    std::string state;
    ASSERT_TRUE(RunMainLoopUntil([&] {
        return test::EvaluateInPage(page->GetBrowser(), "[MediaElement().getAttribute('src'), MediaElement().paused]", state)
            && state == "[\"" + MakeFileUrl(s_clips->File("0 long.mp3")) + "\",true]";
    })) << state;
    EXPECT_EQ(played, Names{"0 long.mp3"});
}

TEST_F(PlayerPageTest, AClickDuringAutoPlayCountsTheInterruptedFile)
{
    list().SetChecked(0, true);
    list().SetChecked(2, true);
    page->OnCommand(ID_LIST_AUTOPLAY);
    ASSERT_TRUE(RunMainLoopUntil([&] { return !played.empty() && Busy(); }));
    Click(3);
    // The long file counts as played: after c come b, and then nothing.
    ASSERT_TRUE(RunMainLoopUntil([&] { return !page->IsAutoPlayOn(); }, 2 * test::EVENT_WAIT_MS));
    EXPECT_EQ(played, (Names{"0 long.mp3", "c.mp3", "b.mp3"}));
    EXPECT_EQ(list().GetModel().At(0).playCount, 1u);
}

TEST_F(PlayerPageTest, StopBlanksThePaneAndSwitchesBothModesOff)
{
    list().SetChecked(0, true);
    page->OnCommand(ID_VIEW_LOOP);
    page->OnCommand(ID_LIST_AUTOPLAY);
    ASSERT_TRUE(RunMainLoopUntil([&] { return !played.empty(); }));
    EXPECT_TRUE(Update(ID_VIEW_STOP).enabled);
    page->OnCommand(ID_VIEW_STOP);
    ASSERT_TRUE(RunMainLoopUntil([&] { return page->GetBrowser().GetLocationUrl() == GetBlankPageUrl(); }));
    EXPECT_FALSE(page->IsAutoPlayOn());
    EXPECT_FALSE(page->IsLoopOn());
    EXPECT_FALSE(Update(ID_VIEW_STOP).enabled);
    EXPECT_FALSE(Update(ID_VIEW_LOOP).enabled);
    // Full Screen does nothing on a player page.
    page->OnCommand(ID_VIEW_FULLSCREEN);
    EXPECT_EQ(host.fullScreenToggles, 0);
}

// One sound at a time: a clip started in the Videos tab silences the Audios tab, as Esc
// there would (loop stays as it was).
TEST_F(PlayerPageTest, AClipStartedInTheOtherTabSilencesThisOne)
{
    CPlayerHost videoHost;
    CVideoPage video(videoHost);
    Gtk::Window videoWindow;
    videoWindow.set_child(video);
    videoWindow.present();
    ASSERT_TRUE(RunMainLoopUntil([&] { return video.IsStarted(); }));

    page->OnCommand(ID_VIEW_LOOP);
    Click(0);
    ASSERT_TRUE(RunMainLoopUntil([&] { return Busy(); }));
    const std::string clip = std::string(MEV_SOURCE_DIR) + "/demo/Colour Bars.webm";
    video.OnPageMessage(PAGEMSG_NAVIGATE, video.GetPageUrl(clip), {});
    EXPECT_TRUE(RunMainLoopUntil([&] { return page->GetBrowser().GetLocationUrl() == GetBlankPageUrl(); }));
    EXPECT_TRUE(page->IsLoopOn());
    EXPECT_EQ(video.GetBrowser().GetLocationUrl(), video.GetPageUrl(clip));
    videoWindow.unset_child();
}

TEST_F(PlayerPageTest, UncheckingEveryRowSwitchesAutoPlayOff)
{
    EXPECT_FALSE(Update(ID_LIST_AUTOPLAY).enabled);
    list().SetChecked(2, true);
    page->OnCommand(ID_LIST_AUTOPLAY);
    CCmdUI ui = Update(ID_LIST_AUTOPLAY);
    EXPECT_TRUE(ui.enabled);
    EXPECT_TRUE(ui.checked);
    list().SetChecked(2, false);
    EXPECT_FALSE(Update(ID_LIST_AUTOPLAY).enabled);
    EXPECT_FALSE(page->IsAutoPlayOn());
}

// The desktop's Next and Previous walk the checked rows in list order, round.
TEST_F(PlayerPageTest, NextAndPreviousWalkTheCheckedRows)
{
    list().SetChecked(1, true);
    list().SetChecked(3, true);
    Click(1);
    page->PlayAdjacent(1);
    EXPECT_EQ(list().GetSelectedRow(), 3);
    page->PlayAdjacent(1);
    EXPECT_EQ(list().GetSelectedRow(), 1);
    page->PlayAdjacent(-1);
    EXPECT_EQ(list().GetSelectedRow(), 3);
    ASSERT_TRUE(RunMainLoopUntil([&] { return !played.empty() && played.back() == "c.mp3"; }));
    EXPECT_EQ(page->GetBrowser().GetLocationUrl(), page->GetPageUrl(s_clips->File("c.mp3")));
}

TEST_F(PlayerPageTest, PlaysFromAFolderChosenLaterUnderTheHomeFolder)
{
    // The web process was started before this folder existed, and its sandbox never
    // shows the home folder.
    CTempFolder folder(g_get_home_dir());
    ASSERT_FALSE(folder.Path().empty());
    const std::string tunes = folder.MakeFolder("Tunes");
    // Long enough to be seen playing on a busy machine.
    ASSERT_TRUE(MakeClip(tunes + "/tune.mp3", 3));
    page->ChangeFolder(tunes);
    page->GetTree().MarkUserClicked();
    ASSERT_TRUE(RunMainLoopUntil([&] { return static_cast<bool>(page->GetTree().GetRootRow()); }));
    page->GetTree().GetTreeView().get_selection()->select(page->GetTree().GetRootRow());
    ASSERT_TRUE(RunMainLoopUntil([&] { return !list().IsFilling() && list().GetCount() == 1; }));

    Click(0);
    ASSERT_TRUE(RunMainLoopUntil([&] { return Busy(); }));
    ASSERT_TRUE(RunMainLoopUntil([&] { return !host.done.empty(); }));
    EXPECT_EQ(host.done.front(), ID_PRIVATE_AUDIO_DONE);
}

TEST_F(PlayerPageTest, EveryListedFormatPlays)
{
    CTempFolder formats;
    const std::string demo = std::string(MEV_SOURCE_DIR) + "/demo/";
    struct Case {
        std::string path;
        MediaKind kind;
    };
    std::vector<Case> cases = {{s_clips->File("a.mp3"), MediaKind::Audio}};
    for (const char* name : {"tone.ogg", "tone.flac", "tone.wav"})
        cases.push_back({formats.File(name), MediaKind::Audio});
    cases.push_back({formats.File("clip.mp4"), MediaKind::Video});
    for (const char* name : {"Test Pattern.mpg", "Colour Bars.webm"}) {
        if (std::filesystem::exists(demo + name))
            cases.push_back({demo + name, MediaKind::Video});
    }
    CMediaKinds::Instance().EnsureBuilt();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        if (!std::filesystem::exists(c.path)) {
            ASSERT_TRUE(MakeClip(c.path, 0.4));
        }
        EXPECT_TRUE(CMediaKinds::Instance().Contains(c.kind, CMediaKinds::KeyOf(c.path)));
        const std::string url = std::string(c.kind == MediaKind::Audio ? "mev://audio/?" : "mev://video/?") + c.path;
        ASSERT_TRUE(test::NavigateAndWait(page->GetBrowser(), url));
        std::string json;
        const bool started = RunMainLoopUntil(
            [&] {
                return test::EvaluateInPage(page->GetBrowser(),
                                            "!MediaElement().error && (MediaElement().currentTime > 0 || MediaElement().ended)",
                                            json, 5000)
                    && json == "true";
            });
        EXPECT_TRUE(started);
    }
}

TEST_F(PlayerPageTest, MovedAndDeletedRowsLeaveTheList)
{
    CTempFolder dir;
    for (const char* name : {"x.mp3", "y.mp3", "z.mp3"})
        dir.Write(name, std::string(300, 'm'));
    Fill(dir.Path(), 3);
    const int y = list().FindByPath(dir / "y.mp3");
    for (int row = 0; row < 3; ++row)
        list().SetChecked(row, row != y);
    page->DeleteChecked();
    EXPECT_EQ(test::AnswerMessageBox(Gtk::ResponseType::YES), "This will delete 2 files.\nNo undo. Are you sure?");
    ASSERT_TRUE(RunMainLoopUntil([&] { return list().GetCount() == 1; }));
    EXPECT_EQ(list().GetModel().At(0).path, dir / "y.mp3");
    EXPECT_FALSE(std::filesystem::exists(dir / "x.mp3"));
    EXPECT_TRUE(std::filesystem::exists(dir / "y.mp3"));
}

TEST_F(PlayerPageTest, AVanishedFileOrFolderFailsQuietly)
{
    CTempFolder folder;
    const std::string tune = folder.File("gone.mp3");
    std::filesystem::copy_file(s_clips->File("a.mp3"), tune);
    Fill(folder.Path(), 1);
    std::filesystem::remove(tune);
    Click(0);
    test::RunMainLoopFor(1000);
    EXPECT_TRUE(played.empty());  // no page for a file that is not there
    std::filesystem::remove_all(folder.Path());
    page->RefreshList(folder.Path());
    ASSERT_TRUE(RunMainLoopUntil([&] { return !list().IsFilling(); }));
    EXPECT_EQ(list().GetCount(), 0);
    EXPECT_EQ(page->GetTotalCount(), 0);
}

// "mev FILE": the file's folder is the tab's root; the root is selected and the file plays.
class PlayerPageStartFileTest : public PlayerPageTest {
protected:
    void SetUp() override
    {
        if (s_ready) {
            SetCommandLine({"mev", "Audios=" + s_clips->Path()});
            SetStartFile(s_clips->File("b.mp3"));
        }
        PlayerPageTest::SetUp();
    }
    void TearDown() override
    {
        SetCommandLine({});
        SetStartFile("");
        PlayerPageTest::TearDown();
    }
};

TEST_F(PlayerPageStartFileTest, TheFileNamedAtStartIsSelectedAndPlays)
{
    ASSERT_TRUE(RunMainLoopUntil([this] { return std::find(played.begin(), played.end(), "b.mp3") != played.end(); }));
    EXPECT_EQ(page->GetTree().GetSelectedFolder(), s_clips->Path());
    EXPECT_EQ(GetStartFile(), "") << "used once";
}

} // namespace
} // namespace mev
