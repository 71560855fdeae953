#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace mev {

// The order of the tabs.
enum class MediaKind : int { Image = 0, Audio = 1, Video = 2 };

// The three process-wide sets of extension keys (".jpg"): a built-in list plus every
// image/, audio/ and video/ type of the shared-mime-info database. Built once, then only
// read, from any thread.
class CMediaKinds {
public:
    static CMediaKinds& Instance();

    // Builds the sets from the MIME databases of $XDG_DATA_HOME and $XDG_DATA_DIRS on
    // first call; later calls return at once. Safe to race from several threads.
    void EnsureBuilt();

    // Builds from the given data folders (each holding mime/globs2 or mime/globs)
    // instead; used by tests on a fresh object. Like EnsureBuilt, only the first build
    // of an object counts.
    void BuildFrom(const std::vector<std::string>& dataDirs);

    // The data folders EnsureBuilt reads: $XDG_DATA_HOME (default ~/.local/share), then
    // each of $XDG_DATA_DIRS (default /usr/local/share:/usr/share); relative entries are
    // ignored.
    static std::vector<std::string> DefaultDataDirs();

    // Lower-cased text from the name's last '.' to its end; the whole name, lower-cased,
    // when it has no '.'.
    static std::string KeyOf(std::string_view fileName);

    // False for every key until the sets are built.
    bool Contains(MediaKind kind, std::string_view key) const;

    // Whether the program can play Flash content; ".swf" counts as video only then.
    // May be changed at any time, also after the build.
    void SetFlashPlayable(bool playable);

    // Picture extensions (".tif") the picture decoder reads besides what the MIME
    // database lists; taken into the next build.
    void SetDecoderImageKeys(std::vector<std::string> keys);

    CMediaKinds() = default;
    CMediaKinds(const CMediaKinds&) = delete;
    CMediaKinds& operator=(const CMediaKinds&) = delete;

private:
    void Build(const std::vector<std::string>& dataDirs);
    void AddGlobsFile(const std::string& path);

    std::unordered_set<std::string> m_sets[3];
    std::once_flag m_once;
    std::atomic<bool> m_built{false};
    std::atomic<bool> m_flashPlayable{false};
    std::mutex m_decoderKeysMutex;
    std::vector<std::string> m_decoderKeys;
};

} // namespace mev
