#include "platform/taglib_title_reader.hpp"

#include <algorithm>

#include <sys/stat.h>

#include <taglib/apetag.h>
#include <taglib/fileref.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>
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

} // namespace

CTagLibTitleReader::CTagLibTitleReader()
{
    static CQuietListener listener;
    TagLib::setDebugListener(&listener);
}

std::string CTagLibTitleReader::ReadTitle(const std::string& path) const
{
    if (!IsRegular(path))
        return {};
    if (GetFileExtension(path) == "mp3") {
        // ID3v2 first, then APE; the ID3v1 title has been looked at already.
        TagLib::MPEG::File file(path.c_str(), false);
        if (!file.isValid())
            return {};
        if (file.hasID3v2Tag()) {
            std::string title = Trimmed(file.ID3v2Tag()->title());
            if (!title.empty())
                return title;
        }
        if (file.hasAPETag())
            return Trimmed(file.APETag()->title());
        return {};
    }
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

} // namespace mev
