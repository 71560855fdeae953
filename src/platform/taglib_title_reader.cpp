#include "platform/taglib_title_reader.hpp"

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <taglib/apetag.h>
#include <taglib/fileref.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/tag.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tdebuglistener.h>

#include "core/shell/file_names.hpp"

namespace mev {

namespace {

// TagLib reports damaged tags on standard error; a list of odd files is no error.
class CQuietListener : public TagLib::DebugListener {
public:
    void printMessage(const TagLib::String&) override {}
};

// Only regular files: opening a FIFO under an audio name would stall the worker.
bool IsRegular(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string Trimmed(const TagLib::String& text)
{
    std::string title = text.stripWhiteSpace().to8Bit(true);
    // A NUL would cut the title short wherever it meets a C interface.
    title.erase(std::remove(title.begin(), title.end(), '\0'), title.end());
    return title;
}

// The head of an MP3 file that the ID3v2 title is looked for in: one read instead of the
// tag library's many, and a cover picture past it is not read at all.
constexpr std::size_t HEAD_BYTES = 65536;

// The ID3v2 title from the file's head, "" when the head has no tag or the tag no title
// (in the part read).
std::string ReadHeadTitle(const std::string& path, bool& regular)
{
    regular = false;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    struct stat info {};
    std::string head;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        regular = true;
        head.resize(HEAD_BYTES);
        const ssize_t got = pread(fd, head.data(), head.size(), 0);
        head.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    close(fd);
    if (head.size() < 10 || head.compare(0, 3, "ID3") != 0)
        return {};
    TagLib::ByteVector bytes(head.data(), static_cast<unsigned>(head.size()));
    TagLib::ByteVectorStream stream(bytes);
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (!file.isValid() || !file.hasID3v2Tag())
        return {};
    return Trimmed(file.ID3v2Tag()->title());
}

} // namespace

CTagLibTitleReader::CTagLibTitleReader()
{
    static CQuietListener listener;
    TagLib::setDebugListener(&listener);
}

std::string CTagLibTitleReader::ReadTitle(const std::string& path) const
{
    if (GetFileExtension(path) == "mp3") {
        // ID3v2 first, then APE; the ID3v1 title has been looked at already.
        bool regular = false;
        std::string title = ReadHeadTitle(path, regular);
        if (!title.empty() || !regular)
            return title;
        TagLib::MPEG::File file(path.c_str(), false);
        if (!file.isValid())
            return {};
        if (file.hasID3v2Tag()) {
            title = Trimmed(file.ID3v2Tag()->title());
            if (!title.empty())
                return title;
        }
        if (file.hasAPETag())
            return Trimmed(file.APETag()->title());
        return {};
    }
    if (!IsRegular(path))
        return {};
    TagLib::FileRef file(path.c_str(), false);
    if (file.isNull() || file.tag() == nullptr)
        return {};
    return Trimmed(file.tag()->title());
}

int CTagLibTitleReader::ReadLength(const std::string& path) const
{
    if (!IsRegular(path))
        return -1;
    TagLib::FileRef file(path.c_str(), true, TagLib::AudioProperties::Fast);
    if (file.isNull() || file.audioProperties() == nullptr)
        return -1;
    const int milliseconds = file.audioProperties()->lengthInMilliseconds();
    // A clip shorter than half a second still lasts: it counts as one.
    return milliseconds > 0 ? std::max(1, (milliseconds + 500) / 1000) : -1;
}

bool CTagLibTitleReader::HasId3v2Tag(const std::string& path) const
{
    if (!IsRegular(path))
        return false;
    TagLib::MPEG::File file(path.c_str(), false);
    return file.isValid() && file.hasID3v2Tag();
}

TrackInfo CTagLibTitleReader::ReadTrack(const std::string& path) const
{
    TrackInfo track;
    if (!IsRegular(path))
        return track;
    TagLib::FileRef file(path.c_str(), false);
    if (file.isNull() || file.tag() == nullptr)
        return track;
    track.title = Trimmed(file.tag()->title());
    track.artist = Trimmed(file.tag()->artist());
    track.album = Trimmed(file.tag()->album());
    return track;
}

} // namespace mev
