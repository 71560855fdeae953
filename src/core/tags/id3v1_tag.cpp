#include "core/tags/id3v1_tag.hpp"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/shell/utf8.hpp"

namespace mev {

namespace {

constexpr off_t TAG_SIZE = 128;
constexpr std::size_t TEXT_SIZE = 30;
constexpr std::size_t COMMENT_SIZE = 28;

// Windows-1252 for 0x80-0x9F. The five bytes it leaves undefined map to the C1 controls
// of the same value, so that every byte decodes to something and encodes back to itself.
constexpr char32_t CP1252_HIGH[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The Windows-1252 byte for a code point, or 0 when it has none.
unsigned char Cp1252Byte(char32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<unsigned char>(cp);
    for (unsigned i = 0; i < 32; ++i) {
        if (CP1252_HIGH[i] == cp)
            return static_cast<unsigned char>(0x80 + i);
    }
    return 0;
}

// From the last character before the terminator back to the start: spaces and NULs
// become NULs until another character is met.
void TrimTrailingSpaces(char* text, std::size_t size)
{
    std::size_t length = strnlen(text, size);
    std::size_t i = length == 0 ? 0 : length - 1;
    while (text[i] == ' ' || text[i] == '\0') {
        text[i] = '\0';
        if (i == 0)
            break;
        --i;
    }
}

std::string_view FieldText(const char* field, std::size_t size)
{
    return std::string_view(field, strnlen(field, size));
}

void SetField(char* field, std::size_t fieldSize, std::size_t limit, const char* text)
{
    if (text == nullptr)
        return;
    std::memset(field, 0, fieldSize);
    std::string bytes = EncodeTagTextExact(text, limit);
    std::memcpy(field, bytes.data(), bytes.size());
}

// The whole range, or false when the file ends early or the read fails.
bool ReadAt(int fd, void* buffer, std::size_t size, off_t offset)
{
    auto* dest = static_cast<char*>(buffer);
    while (size > 0) {
        ssize_t got = pread(fd, dest, size, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        dest += got;
        size -= static_cast<std::size_t>(got);
        offset += got;
    }
    return true;
}

CStatus WriteAt(int fd, const void* buffer, std::size_t size, off_t offset)
{
    auto* src = static_cast<const char*>(buffer);
    while (size > 0) {
        ssize_t put = pwrite(fd, src, size, offset);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return CStatus::LastError();
        if (put == 0)
            return CStatus(EIO);
        src += put;
        size -= static_cast<std::size_t>(put);
        offset += put;
    }
    return {};
}

// An open regular file holding an advisory lock (shared for readers, exclusive for the
// writer), so that a tag is never read while another writer is halfway through it.
// O_NONBLOCK keeps a FIFO with a media name from stalling the open.
class CLockedFile {
public:
    CLockedFile(const std::string& path, bool forWriting)
    {
        m_fd = open(path.c_str(), (forWriting ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0) {
            m_status = CStatus::LastError();
            return;
        }
        struct stat info {};
        if (fstat(m_fd, &info) != 0)
            m_status = CStatus::LastError();
        else if (!S_ISREG(info.st_mode))
            m_status = CStatus(EIO);
        else
            m_status = Lock(forWriting);
        if (!m_status) {
            close(m_fd);
            m_fd = -1;
        }
    }
    ~CLockedFile()
    {
        if (m_fd >= 0)
            close(m_fd); // also drops the lock
    }
    CLockedFile(const CLockedFile&) = delete;
    CLockedFile& operator=(const CLockedFile&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    // Why the file is not open.
    CStatus Status() const { return m_status; }
    int Fd() const { return m_fd; }

    // The current size, or -1.
    off_t Size() const
    {
        struct stat info {};
        return fstat(m_fd, &info) == 0 ? info.st_size : -1;
    }

private:
    // Only a lock held by someone else refuses the file; a file system without locks
    // (ENOLCK, EOPNOTSUPP and the like) is used unlocked.
    CStatus Lock(bool exclusive)
    {
        int rc;
        do {
            rc = flock(m_fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
        } while (rc != 0 && errno == EINTR);
        return rc == 0 || errno != EWOULDBLOCK ? CStatus() : CStatus(EWOULDBLOCK);
    }

    int m_fd = -1;
    CStatus m_status;
};

bool HasMarkerAt(int fd, off_t offset)
{
    char marker[3];
    return offset >= 0 && ReadAt(fd, marker, sizeof marker, offset)
           && std::memcmp(marker, "TAG", 3) == 0;
}

} // namespace

std::string DecodeTagText(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    while (!bytes.empty()) {
        char32_t cp = 0;
        std::size_t length = Utf8SequenceAt(bytes, cp);
        if (length > 0) {
            out.append(bytes.substr(0, length));
            bytes.remove_prefix(length);
            continue;
        }
        auto byte = static_cast<unsigned char>(bytes.front());
        AppendUtf8(out, byte >= 0x80 && byte < 0xA0 ? CP1252_HIGH[byte - 0x80] : char32_t(byte));
        bytes.remove_prefix(1);
    }
    return out;
}

std::string EncodeTagText(std::string_view utf8, std::size_t maxBytes)
{
    std::string out;
    while (!utf8.empty() && out.size() < maxBytes) {
        char32_t cp = 0;
        std::size_t length = Utf8SequenceAt(utf8, cp);
        if (length == 0) {
            // A byte that does not start valid UTF-8 counts as one unencodable character.
            out += '?';
            utf8.remove_prefix(1);
            continue;
        }
        unsigned char byte = Cp1252Byte(cp);
        if (byte == 0 && cp == 0)
            break; // an embedded NUL ends the text, as it would end a C string
        out += byte != 0 ? static_cast<char>(byte) : '?';
        utf8.remove_prefix(length);
    }
    return out;
}

std::string EncodeTagTextExact(std::string_view utf8, std::size_t maxBytes)
{
    std::string bytes = EncodeTagText(utf8, maxBytes);
    const std::string back = DecodeTagText(bytes);
    // A '?' put for a character reads back as '?', so a match means nothing was lost.
    if (utf8.substr(0, back.size()) == back)
        return bytes;
    // UTF-8 always reads back as itself; cut it before the character that would not fit.
    std::string out;
    while (!utf8.empty()) {
        char32_t cp = 0;
        std::size_t length = Utf8SequenceAt(utf8, cp);
        if (length == 0 || cp == 0 || out.size() + length > maxBytes)
            break;
        out.append(utf8.substr(0, length));
        utf8.remove_prefix(length);
    }
    return out;
}

CId3v1Tag::CId3v1Tag()
{
    Clear();
}

void CId3v1Tag::Clear()
{
    std::memset(m_marker, 0, sizeof m_marker);
    std::memset(m_title, 0, sizeof m_title);
    std::memset(m_artist, 0, sizeof m_artist);
    std::memset(m_album, 0, sizeof m_album);
    std::memset(m_year, 0, sizeof m_year);
    std::memset(m_comment, 0, sizeof m_comment);
    m_zeroByte = 0;
    m_track = 0;
    m_genre = 255;
}

bool CId3v1Tag::Read(const std::string& path)
{
    Clear();
    if (path.empty())
        return false;
    CLockedFile file(path, false);
    if (!file.IsOpen())
        return false;
    off_t size = file.Size();
    if (size < TAG_SIZE + 2)
        return false;

    for (off_t back : {TAG_SIZE, TAG_SIZE + 2}) {
        unsigned char block[TAG_SIZE];
        // A file that shrinks under us ends the search: nothing half-read is kept.
        if (!ReadAt(file.Fd(), block, sizeof block, size - back))
            break;
        if (std::memcmp(block, "TAG", 3) != 0)
            continue;
        std::memcpy(m_marker, block, 3);
        std::memcpy(m_title, block + 3, TEXT_SIZE);
        std::memcpy(m_artist, block + 33, TEXT_SIZE);
        std::memcpy(m_album, block + 63, TEXT_SIZE);
        std::memcpy(m_year, block + 93, 4);
        std::memcpy(m_comment, block + 97, COMMENT_SIZE);
        m_zeroByte = block[125];
        m_track = block[126];
        m_genre = block[127];
        TrimTrailingSpaces(m_title, TEXT_SIZE);
        TrimTrailingSpaces(m_artist, TEXT_SIZE);
        TrimTrailingSpaces(m_album, TEXT_SIZE);
        TrimTrailingSpaces(m_comment, COMMENT_SIZE);
        return true;
    }
    Clear();
    return false;
}

CStatus CId3v1Tag::Write(const std::string& path)
{
    if (path.empty())
        return CStatus(EIO);
    CLockedFile file(path, true);
    if (!file.IsOpen())
        return file.Status();
    off_t size = file.Size();
    if (size < 0)
        return CStatus::LastError();

    off_t place = size;
    if (HasMarkerAt(file.Fd(), size - TAG_SIZE))
        place = size - TAG_SIZE;
    else if (HasMarkerAt(file.Fd(), size - TAG_SIZE - 2))
        place = size - TAG_SIZE - 2;

    std::memcpy(m_marker, "TAG", 4);
    unsigned char block[TAG_SIZE];
    std::memcpy(block, m_marker, 3);
    std::memcpy(block + 3, m_title, TEXT_SIZE);
    std::memcpy(block + 33, m_artist, TEXT_SIZE);
    std::memcpy(block + 63, m_album, TEXT_SIZE);
    std::memcpy(block + 93, m_year, 4);
    std::memcpy(block + 97, m_comment, COMMENT_SIZE);
    block[125] = m_zeroByte;
    block[126] = m_track;
    block[127] = m_genre;

    // Someone who ignores the lock may have cut the file meanwhile; writing past its new
    // end would leave a hole of zeros in the audio data.
    if (const off_t now = file.Size(); now < 0)
        return CStatus::LastError();
    else if (now < place)
        return CStatus(EIO);
    if (const CStatus status = WriteAt(file.Fd(), block, sizeof block, place); !status) {
        if (place == size) {
            // A failed append (disk full) must not leave part of a tag behind.
            while (ftruncate(file.Fd(), size) != 0 && errno == EINTR) {
            }
        }
        return status;
    }
    int rc;
    do {
        rc = ftruncate(file.Fd(), place + TAG_SIZE);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? CStatus() : CStatus::LastError();
}

std::string CId3v1Tag::GetTitle() const { return DecodeTagText(RawTitle()); }
std::string CId3v1Tag::GetArtist() const { return DecodeTagText(RawArtist()); }
std::string CId3v1Tag::GetAlbum() const { return DecodeTagText(RawAlbum()); }
std::string CId3v1Tag::GetComment() const { return DecodeTagText(RawComment()); }

void CId3v1Tag::SetTitle(const char* text) { SetField(m_title, sizeof m_title, TEXT_SIZE, text); }
void CId3v1Tag::SetArtist(const char* text) { SetField(m_artist, sizeof m_artist, TEXT_SIZE, text); }
void CId3v1Tag::SetAlbum(const char* text) { SetField(m_album, sizeof m_album, TEXT_SIZE, text); }
void CId3v1Tag::SetComment(const char* text) { SetField(m_comment, sizeof m_comment, COMMENT_SIZE, text); }

std::string_view CId3v1Tag::RawTitle() const { return FieldText(m_title, TEXT_SIZE); }
std::string_view CId3v1Tag::RawArtist() const { return FieldText(m_artist, TEXT_SIZE); }
std::string_view CId3v1Tag::RawAlbum() const { return FieldText(m_album, TEXT_SIZE); }
std::string_view CId3v1Tag::RawComment() const { return FieldText(m_comment, COMMENT_SIZE); }

} // namespace mev
