#include "platform/cover_art.hpp"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string_view>
#include <vector>

#include <sys/stat.h>

#include <glib.h>
#include <glib/gstdio.h>
#include <taglib/aifffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>
#include <taglib/mpegfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

namespace mev {

namespace {

// The best picture offered so far: a front cover over any other, the first of a kind.
struct Choice {
    TagLib::ByteVector data;
    bool front = false;

    void Offer(const TagLib::ByteVector& picture, bool isFront)
    {
        if (picture.isEmpty() || picture.size() > MAX_COVER_BYTES || (!data.isEmpty() && (front || !isFront)))
            return;
        data = picture;
        front = isFront;
    }
};

void FromId3v2(TagLib::ID3v2::Tag* tag, Choice& choice)
{
    if (tag == nullptr)
        return;
    for (TagLib::ID3v2::Frame* frame : tag->frameList("APIC")) {
        if (auto* picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame))
            choice.Offer(picture->picture(), picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    }
}

void FromFlacPictures(const TagLib::List<TagLib::FLAC::Picture*>& pictures, Choice& choice)
{
    for (TagLib::FLAC::Picture* picture : pictures)
        choice.Offer(picture->data(), picture->type() == TagLib::FLAC::Picture::FrontCover);
}

TagLib::ByteVector TagPicture(const std::string& path)
{
    Choice choice;
    // No audio properties: only the tags are read.
    TagLib::FileRef ref(path.c_str(), false);
    TagLib::File* file = ref.file();
    if (file == nullptr || !file->isValid())
        return {};
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
        if (mpeg->hasID3v2Tag())
            FromId3v2(mpeg->ID3v2Tag(), choice);
    } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        FromFlacPictures(flac->pictureList(), choice);
        if (flac->hasXiphComment())
            FromFlacPictures(flac->xiphComment()->pictureList(), choice);
        if (flac->hasID3v2Tag())
            FromId3v2(flac->ID3v2Tag(), choice);
    } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
        TagLib::MP4::Tag* tag = mp4->tag();
        if (tag != nullptr && tag->contains("covr")) {
            for (const TagLib::MP4::CoverArt& art : tag->item("covr").toCoverArtList())
                choice.Offer(art.data(), true);
        }
    } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) {
        if (wav->hasID3v2Tag())
            FromId3v2(wav->ID3v2Tag(), choice);
    } else if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file)) {
        if (aiff->hasID3v2Tag())
            FromId3v2(aiff->tag(), choice);
    } else if (auto* xiph = dynamic_cast<TagLib::Ogg::XiphComment*>(file->tag())) {
        // Ogg Vorbis, Opus, Speex, Ogg FLAC: METADATA_BLOCK_PICTURE comments.
        FromFlacPictures(xiph->pictureList(), choice);
    }
    return choice.data;
}

// The file name extension of a picture by its first bytes; nullptr when it is none of
// the formats every desktop shows.
const char* PictureExtension(const TagLib::ByteVector& data)
{
    const auto starts = [&](std::string_view magic, std::size_t at = 0) {
        return data.size() >= at + magic.size() && std::memcmp(data.data() + at, magic.data(), magic.size()) == 0;
    };
    if (starts("\xFF\xD8\xFF"))
        return ".jpg";
    if (starts("\x89PNG\r\n\x1A\n"))
        return ".png";
    if (starts("GIF87a") || starts("GIF89a"))
        return ".gif";
    if (starts("RIFF") && starts("WEBP", 8))
        return ".webp";
    if (starts("BM") && data.size() > 26)
        return ".bmp";
    return nullptr;
}

// Keeps the newest pictures of the cache, not counting keep.
void PruneCache(const std::string& folder, const std::string& keep)
{
    std::vector<std::pair<std::filesystem::file_time_type, std::filesystem::path>> files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path() != keep && it->is_regular_file(ec))
            files.emplace_back(it->last_write_time(ec), it->path());
    }
    if (static_cast<int>(files.size()) < MAX_CACHED_COVERS)
        return;
    std::sort(files.begin(), files.end());
    for (std::size_t i = 0; i + MAX_CACHED_COVERS <= files.size(); ++i)
        std::filesystem::remove(files[i].second, ec);
}

std::string CachedTagPicture(const std::string& path, const std::string& cacheFolder)
{
    const TagLib::ByteVector data = TagPicture(path);
    const char* extension = PictureExtension(data);
    if (extension == nullptr || cacheFolder.empty())
        return {};
    gchar* hash = g_compute_checksum_for_data(G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(data.data()),
                                              data.size());
    const std::string file = cacheFolder + "/" + hash + extension;
    g_free(hash);
    GStatBuf info {};
    if (g_stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) && static_cast<std::size_t>(info.st_size) == data.size())
        return file;
    if (g_mkdir_with_parents(cacheFolder.c_str(), 0700) != 0)
        return {};
    PruneCache(cacheFolder, file);
    // Written to a temporary file and renamed: a reader never sees half a picture.
    if (!g_file_set_contents_full(file.c_str(), data.data(), static_cast<gssize>(data.size()),
                                  G_FILE_SET_CONTENTS_CONSISTENT, 0600, nullptr))
        return {};
    return file;
}

// cover, folder or front with a picture extension, in that order, in any case.
std::string FolderPicture(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    constexpr const char* STEMS[] = {"cover", "folder", "front"};
    constexpr std::size_t MAX_ENTRIES = 20000;
    std::string best;
    std::size_t bestRank = std::size(STEMS);
    GDir* dir = g_dir_open(folder.c_str(), 0, nullptr);
    if (dir == nullptr)
        return {};
    std::size_t seen = 0;
    while (const char* name = g_dir_read_name(dir)) {
        if (++seen > MAX_ENTRIES)
            break;
        const char* dot = std::strrchr(name, '.');
        if (dot == nullptr
            || (g_ascii_strcasecmp(dot, ".jpg") != 0 && g_ascii_strcasecmp(dot, ".jpeg") != 0
                && g_ascii_strcasecmp(dot, ".png") != 0))
            continue;
        const std::size_t stem = static_cast<std::size_t>(dot - name);
        for (std::size_t rank = 0; rank < bestRank; ++rank) {
            if (stem == std::strlen(STEMS[rank]) && g_ascii_strncasecmp(name, STEMS[rank], stem) == 0) {
                const std::string candidate = folder + (folder == "/" ? "" : "/") + name;
                GStatBuf info {};
                if (g_stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
                    best = candidate;
                    bestRank = rank;
                }
                break;
            }
        }
    }
    g_dir_close(dir);
    return best;
}

} // namespace

std::string FindCoverArt(const std::string& path, const std::string& cacheFolder)
{
    GStatBuf info {};
    // Only regular files: a FIFO under an audio name would stall the reader.
    if (g_stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    std::string art = CachedTagPicture(path, cacheFolder);
    if (art.empty())
        art = FolderPicture(path);
    return art;
}

std::string CoverCacheFolder()
{
    return std::string(g_get_user_cache_dir()) + "/mev/covers";
}

} // namespace mev
