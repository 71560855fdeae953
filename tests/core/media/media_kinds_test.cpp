#include "core/media/media_kinds.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <latch>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>
#include "temp_folder.hpp"

namespace fs = std::filesystem;
using mev::CMediaKinds;
using mev::MediaKind;

namespace {

class MediaKindsDb : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_temp.Path().empty()); }
    // Writes <root>/<dir>/mime/<file> and returns <root>/<dir>.
    std::string Db(const std::string& dir, const std::string& file, const std::string& text)
    {
        fs::create_directories(m_root / dir / "mime");
        std::ofstream(m_root / dir / "mime" / file, std::ios::binary) << text;
        return (m_root / dir).string();
    }
    mev::test::CTempFolder m_temp;
    fs::path m_root = m_temp.Path();
};

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

} // namespace

TEST(MediaKindKeyOf, TakesTheLastDotAndLowersAsciiOnly)
{
    const struct { const char* name; const char* key; } cases[] = {
        {"PHOTO.JPG", ".jpg"},
        {"Song.Mp3", ".mp3"},
        {"archive.tar.gz", ".gz"},
        {"README", "readme"},
        {".gif", ".gif"},
        {"trailing.", "."},
        {"", ""},
        {"\xC3\x84RGER.JPG", ".jpg"},
        {"\xC3\x84.\xC3\x96GG", ".\xC3\x96gg"}, // bytes of multi-byte characters untouched
        {"back\\slash.PNG", ".png"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CMediaKinds::KeyOf(c.name), c.key) << c.name;
}

TEST_F(MediaKindsDb, BuiltInKeysWithoutAnyDatabase)
{
    CMediaKinds kinds;
    EXPECT_FALSE(kinds.Contains(MediaKind::Image, ".jpg")); // nothing before the build
    kinds.BuildFrom({(m_root / "missing").string(), ""});
    for (const char* key : {".gif", ".jpg", ".jpeg", ".wmf", ".bmp", ".ico"})
        EXPECT_TRUE(kinds.Contains(MediaKind::Image, key)) << key;
    for (const char* key : {".mp3", ".m3u", ".m3u8"})
        EXPECT_TRUE(kinds.Contains(MediaKind::Audio, key)) << key;
    EXPECT_TRUE(kinds.Contains(MediaKind::Video, ".mpg"));
    EXPECT_FALSE(kinds.Contains(MediaKind::Video, ".swf"));
    EXPECT_FALSE(kinds.Contains(MediaKind::Image, ".png"));
    EXPECT_FALSE(kinds.Contains(MediaKind::Image, CMediaKinds::KeyOf("README")));
    EXPECT_FALSE(kinds.Contains(MediaKind::Audio, ".jpg"));
    EXPECT_FALSE(kinds.Contains(static_cast<MediaKind>(3), ".jpg"));
}

TEST_F(MediaKindsDb, FlashJoinsTheVideoSetOnlyWhilePlayable)
{
    CMediaKinds kinds;
    kinds.BuildFrom({});
    EXPECT_FALSE(kinds.Contains(MediaKind::Video, ".swf"));
    kinds.SetFlashPlayable(true);
    EXPECT_TRUE(kinds.Contains(MediaKind::Video, ".swf"));
    EXPECT_FALSE(kinds.Contains(MediaKind::Image, ".swf"));
    kinds.SetFlashPlayable(false);
    EXPECT_FALSE(kinds.Contains(MediaKind::Video, ".swf"));
}

TEST_F(MediaKindsDb, OnlySimpleGlobsOfTheThreeMajorTypes)
{
    std::string a = Db("a", "globs2",
                       "# comment line\n"
                       "50:Image/PNG:*.PNG\n"
                       "50:video/mpeg:*.mpeg\n"
                       "50:audio/ogg:*.ogg\n"
                       "50:video/ogg:*.ogg\n"
                       "50:audio/x-cs:*.Cs:cs\n"
                       "50:audio/x-crlf:*.crlf\r\n"
                       "50:application/x-shockwave-flash:*.swf\n"
                       "50:text/html:*.html\n"
                       "50:image/x-anim:*.anim[1-9j]\n"
                       "50:image/x-q:*.q?x\n"
                       "50:image/x-star:*.a*\n"
                       "50:audio/x-name:README\n"
                       "50:audio/x-prefix:x*.pre\n"
                       "50:audio/x-empty:*.\n"
                       "50:videos/x-v:*.vv\n"
                       "50:audi/x-a:*.aa\n"
                       "malformed line\n"
                       "50:image/x-noglob\n");
    std::string b = Db("b", "globs", "# old format only\nvideo/x-old:*.OLD\n");
    std::string c = Db("c", "globs2", "50:image/x-new:*.new\n");
    Db("c", "globs", "image/x-skip:*.skip\n");
    std::string d = (m_root / "d").string();
    fs::create_directories(m_root / "d" / "mime" / "globs2"); // not a file: use globs
    Db("d", "globs", "audio/x-fallback:*.fb\n");

    CMediaKinds kinds;
    kinds.BuildFrom({a, b, c, d, (m_root / "nowhere").string()});

    const struct { MediaKind kind; const char* key; bool in; } cases[] = {
        {MediaKind::Image, ".png", true},   {MediaKind::Image, ".PNG", false},
        {MediaKind::Video, ".mpeg", true},  {MediaKind::Video, ".mpg", true},
        {MediaKind::Audio, ".ogg", true},   {MediaKind::Video, ".ogg", true},
        {MediaKind::Image, ".ogg", false},  {MediaKind::Audio, ".cs", true},
        {MediaKind::Audio, ".crlf", true},  {MediaKind::Video, ".swf", false},
        {MediaKind::Image, ".html", false}, {MediaKind::Image, ".anim[1-9j]", false},
        {MediaKind::Image, ".anim1", false}, {MediaKind::Image, ".q?x", false},
        {MediaKind::Image, ".a*", false},   {MediaKind::Audio, "readme", false},
        {MediaKind::Audio, ".pre", false},  {MediaKind::Audio, ".", false},
        {MediaKind::Video, ".vv", false},   {MediaKind::Audio, ".aa", false},
        {MediaKind::Video, ".old", true},   {MediaKind::Image, ".new", true},
        {MediaKind::Image, ".skip", false}, {MediaKind::Audio, ".fb", true},
    };
    for (const auto& t : cases)
        EXPECT_EQ(kinds.Contains(t.kind, t.key), t.in) << static_cast<int>(t.kind) << " " << t.key;
}

TEST_F(MediaKindsDb, OnlyTheFirstBuildCounts)
{
    std::string a = Db("a", "globs2", "50:image/png:*.png\n");
    std::string b = Db("b", "globs2", "50:image/tiff:*.tif\n");
    CMediaKinds kinds;
    kinds.BuildFrom({a});
    kinds.BuildFrom({b});
    kinds.EnsureBuilt();
    EXPECT_TRUE(kinds.Contains(MediaKind::Image, ".png"));
    EXPECT_FALSE(kinds.Contains(MediaKind::Image, ".tif"));
}

TEST_F(MediaKindsDb, RealSharedMimeInfoDatabase)
{
    if (!fs::is_regular_file("/usr/share/mime/globs2"))
        GTEST_SKIP() << "no shared-mime-info database";
    CMediaKinds kinds;
    kinds.BuildFrom({"/usr/share"});
    EXPECT_TRUE(kinds.Contains(MediaKind::Image, ".png"));
    EXPECT_TRUE(kinds.Contains(MediaKind::Image, ".svg"));
    EXPECT_TRUE(kinds.Contains(MediaKind::Image, ".tiff"));
    EXPECT_TRUE(kinds.Contains(MediaKind::Audio, ".flac"));
    EXPECT_TRUE(kinds.Contains(MediaKind::Audio, ".wav"));
    EXPECT_TRUE(kinds.Contains(MediaKind::Video, ".webm"));
    EXPECT_TRUE(kinds.Contains(MediaKind::Video, ".mp4"));
    EXPECT_FALSE(kinds.Contains(MediaKind::Image, ".html"));
    EXPECT_FALSE(kinds.Contains(MediaKind::Video, ".swf"));
    EXPECT_FALSE(kinds.Contains(MediaKind::Image, ".txt"));
}

TEST_F(MediaKindsDb, DataFoldersFromTheEnvironment)
{
    {
        ScopedEnv home("HOME", "/home/u");
        ScopedEnv dataHome("XDG_DATA_HOME", nullptr);
        ScopedEnv dataDirs("XDG_DATA_DIRS", nullptr);
        EXPECT_EQ(CMediaKinds::DefaultDataDirs(),
                  (std::vector<std::string>{"/home/u/.local/share", "/usr/local/share", "/usr/share"}));
    }
    {
        ScopedEnv dataHome("XDG_DATA_HOME", "/d/home");
        ScopedEnv dataDirs("XDG_DATA_DIRS", "/x::relative:/y/");
        EXPECT_EQ(CMediaKinds::DefaultDataDirs(), (std::vector<std::string>{"/d/home", "/x", "/y/"}));
    }
    {
        ScopedEnv dataHome("XDG_DATA_HOME", Db("home", "globs2", "50:image/x-h:*.hh\n").c_str());
        ScopedEnv dataDirs("XDG_DATA_DIRS", Db("sys", "globs", "audio/x-s:*.ss\n").c_str());
        CMediaKinds kinds;
        kinds.EnsureBuilt();
        EXPECT_TRUE(kinds.Contains(MediaKind::Image, ".hh"));
        EXPECT_TRUE(kinds.Contains(MediaKind::Audio, ".ss"));
        EXPECT_FALSE(kinds.Contains(MediaKind::Image, ".png")); // /usr/share not read
    }
}

// A worker thread and the UI thread may both be first; readers must see either nothing
// or the complete sets, and the sets are built once.
TEST_F(MediaKindsDb, BuildRacesFromSeveralThreads)
{
    std::string db = Db("a", "globs2", "50:image/png:*.png\n50:video/webm:*.webm\n");
    for (int round = 0; round < 20; ++round) {
        auto kinds = std::make_unique<CMediaKinds>();
        std::latch start(4);
        std::vector<std::thread> threads;
        for (int i = 0; i < 2; ++i) {
            threads.emplace_back([&] {
                start.arrive_and_wait();
                kinds->BuildFrom({db});
                EXPECT_TRUE(kinds->Contains(MediaKind::Image, ".png"));
                EXPECT_TRUE(kinds->Contains(MediaKind::Video, ".webm"));
            });
        }
        for (int i = 0; i < 2; ++i) {
            threads.emplace_back([&] {
                start.arrive_and_wait();
                for (int n = 0; n < 200; ++n) {
                    // Before the build nothing is in; after it both keys are.
                    bool png = kinds->Contains(MediaKind::Image, ".png");
                    bool gif = kinds->Contains(MediaKind::Image, ".gif");
                    if (png) {
                        EXPECT_TRUE(gif);
                    }
                }
            });
        }
        for (auto& t : threads)
            t.join();
        EXPECT_TRUE(kinds->Contains(MediaKind::Image, ".gif"));
    }
}

TEST(MediaKindsInstance, EnsureBuiltFromTwoThreads)
{
    CMediaKinds& kinds = CMediaKinds::Instance();
    std::latch start(2);
    std::thread worker([&] {
        start.arrive_and_wait();
        kinds.EnsureBuilt();
        EXPECT_TRUE(kinds.Contains(MediaKind::Audio, ".mp3"));
    });
    start.arrive_and_wait();
    kinds.EnsureBuilt();
    EXPECT_TRUE(kinds.Contains(MediaKind::Image, ".jpg"));
    worker.join();
    EXPECT_EQ(&kinds, &CMediaKinds::Instance());
}
