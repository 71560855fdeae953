#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/shell/status.hpp"

namespace mev {

// The 128-byte ID3v1(.1) block at the end of an MP3 file. The record keeps the raw bytes;
// the text getters decode them for display (valid UTF-8 as such, otherwise Windows-1252)
// and the setters encode UTF-8 text back (EncodeTagTextExact), cut on a character
// boundary at 30 (28 for the comment) bytes.
class CId3v1Tag {
public:
    CId3v1Tag();
    virtual ~CId3v1Tag() = default;

    // Back to the cleared state: every byte 0, genre 255.
    void Clear();

    // Looks for the tag 128, then 130 bytes before the end of a regular file of at least
    // 130 bytes. False (record cleared) when there is none, or the file cannot be opened,
    // is locked by a writer or shrinks while it is read.
    bool Read(const std::string& path);

    // Writes the record over the file's tag (dropping two bytes that follow it) or appends
    // it. Fails, with the file as it was, when it cannot be opened for writing (EIO when
    // it is not a regular file), is locked by another reader or writer (EWOULDBLOCK), or
    // the write fails.
    CStatus Write(const std::string& path);

    std::string GetTitle() const;
    std::string GetArtist() const;
    std::string GetAlbum() const;
    std::string GetComment() const;

    // A null pointer leaves the field unchanged.
    void SetTitle(const char* text);
    void SetArtist(const char* text);
    void SetAlbum(const char* text);
    void SetComment(const char* text);

    // The stored bytes of a field, up to its first NUL.
    std::string_view RawTitle() const;
    std::string_view RawArtist() const;
    std::string_view RawAlbum() const;
    std::string_view RawComment() const;
    std::uint8_t Genre() const { return m_genre; }

private:
    char m_marker[4];
    char m_title[32];
    char m_artist[32];
    char m_album[32];
    char m_year[5];
    char m_comment[32];
    std::uint8_t m_zeroByte;
    std::uint8_t m_track;
    std::uint8_t m_genre;
};

// Text conversions of the tag fields, also used by the tag editor.
std::string DecodeTagText(std::string_view bytes);
std::string EncodeTagText(std::string_view utf8, std::size_t maxBytes);
// What the setters store: the Windows-1252 bytes when they read back (DecodeTagText) as
// exactly the text, else the UTF-8 bytes. Some Windows-1252 byte runs are valid UTF-8
// ("CAF\xC9\x96BAR" for "CAFÉ–BAR") and would read back as other characters; text
// outside Windows-1252 would lose its characters to '?'.
std::string EncodeTagTextExact(std::string_view utf8, std::size_t maxBytes);

} // namespace mev
