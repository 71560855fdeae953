#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mev {

// The sizes of the desktop's shared thumbnail cache, each a folder of its own.
enum class ThumbnailSize { Normal, Large, XLarge, XXLarge };

int GetThumbnailPixels(ThumbnailSize size);          // 128, 256, 512, 1024
const char* GetThumbnailFolderName(ThumbnailSize size); // "normal" ... "xx-large"

// The smallest size that shows a thumbnail displayed that many device pixels wide
// without enlarging it; the largest for anything wider.
ThumbnailSize ChooseThumbnailSize(int displayedPixels);

// The file's modification time in whole seconds since the epoch, as the cache records it.
std::optional<std::int64_t> GetModificationTime(const std::string& path);

// The desktop's shared thumbnail cache: one PNG per picture and size, named by the MD5 of
// the picture's file URI and carrying that URI and the picture's modification time, so
// that a changed picture is made anew. Thumbnails other programs made are used as they
// are; the ones written here follow the same rules, so that they can use them too.
// Pictures that could not be decoded are recorded in a folder of their own, so that they
// are not tried on every visit. All operations are safe on several threads at once.
class CThumbnailCache {
public:
    // root: the "thumbnails" folder; "" gives a cache that holds nothing.
    explicit CThumbnailCache(std::string root);

    // $XDG_CACHE_HOME/thumbnails, else $HOME/.cache/thumbnails; "" when neither is known.
    static std::string GetDefaultRoot();

    // The file URI the desktop names a picture by (its bytes percent-encoded as GLib
    // encodes them); only absolute paths have one.
    static std::string MakeUri(std::string_view path);

    const std::string& GetRoot() const { return m_root; }
    std::string GetPath(ThumbnailSize size, const std::string& uri) const;
    std::string GetFailPath(const std::string& uri) const;

    // The stored PNG for the picture when one of that size or larger is valid for it.
    std::optional<std::string> Load(ThumbnailSize size, const std::string& uri, std::int64_t mtime) const;
    // Writes the PNG (tagged with the URI and time) through a private file and a rename,
    // readable by the owner alone. False when the cache cannot be written.
    bool Store(ThumbnailSize size, const std::string& uri, std::int64_t mtime, std::string_view png) const;

    bool HasFailed(const std::string& uri, std::int64_t mtime) const;
    void RecordFailure(const std::string& uri, std::int64_t mtime) const;

private:
    bool WriteTagged(const std::string& path, const std::string& uri, std::int64_t mtime, std::string_view png) const;

    std::string m_root;
};

// Whether PNG bytes are a thumbnail of the picture with that URI and modification time.
bool IsThumbnailValid(std::string_view png, const std::string& uri, std::int64_t mtime);

} // namespace mev
