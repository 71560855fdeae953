// The ID3v1 reader and writer and the tag text decoding and encoding.
#include <cstddef>
#include <cstdint>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "core/tags/id3v1_tag.hpp"
#include "fuzz_support.hpp"

using namespace mev;

namespace {

// Text that fits a field as UTF-8 reads back exactly; longer text is cut to a prefix.
void CheckEncoding(const std::string& text, std::size_t maxBytes)
{
    const std::string bytes = EncodeTagTextExact(text, maxBytes);
    FUZZ_CHECK(bytes.size() <= maxBytes);
    const std::string back = DecodeTagText(bytes);
    if (text.size() <= maxBytes)
        FUZZ_CHECK(back == text);
    else
        FUZZ_CHECK(text.rfind(back, 0) == 0);
    FUZZ_CHECK(EncodeTagText(text, maxBytes).size() <= maxBytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string text = input.ConsumeRandomLengthString(64);
    const std::string fileBytes = input.ConsumeRemainingBytesAsString();

    // Any bytes decode to well-formed UTF-8, and valid UTF-8 stays as it is.
    const std::string decoded = DecodeTagText(text);
    FUZZ_CHECK(fuzz::IsUtf8(decoded));
    if (fuzz::IsUtf8(text))
        FUZZ_CHECK(decoded == text);
    if (fuzz::IsUtf8(text) && text.find('\0') == std::string::npos) {
        CheckEncoding(text, 30);
        CheckEncoding(text, 28);
    }

    // A file of fuzzed bytes: whatever tag it holds reads as text that writes back as
    // the same text, and the rest of the file is left alone.
    static const std::string path = fuzz::ScratchFolder() + "/tag.mp3";
    fuzz::WriteBytes(path, fileBytes);
    CId3v1Tag tag;
    if (!tag.Read(path))
        return 0;
    const std::string title = tag.GetTitle();
    const std::string artist = tag.GetArtist();
    const std::string album = tag.GetAlbum();
    const std::string comment = tag.GetComment();
    for (const std::string* field : {&title, &artist, &album, &comment})
        FUZZ_CHECK(fuzz::IsUtf8(*field));
    tag.SetTitle(title.c_str());
    tag.SetArtist(artist.c_str());
    tag.SetAlbum(album.c_str());
    tag.SetComment(comment.c_str());
    if (title.size() <= 30)
        FUZZ_CHECK(tag.GetTitle() == title);
    if (comment.size() <= 28)
        FUZZ_CHECK(tag.GetComment() == comment);
    FUZZ_CHECK(tag.Write(path));
    // A tag is only looked for in files of 130 bytes or more; writing over a tag that two
    // bytes followed shortens the file by those two.
    std::error_code ec;
    if (std::filesystem::file_size(path, ec) < 130)
        return 0;
    CId3v1Tag reread;
    FUZZ_CHECK(reread.Read(path));
    // The reader takes blanks at the end of a field for padding: text cut to fit on a
    // character boundary may end in one, which then does not come back.
    const auto written = [](std::string text) {
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        return text;
    };
    FUZZ_CHECK(reread.GetTitle() == written(tag.GetTitle()));
    FUZZ_CHECK(reread.GetArtist() == written(tag.GetArtist()));
    FUZZ_CHECK(reread.GetAlbum() == written(tag.GetAlbum()));
    FUZZ_CHECK(reread.GetComment() == written(tag.GetComment()));
    FUZZ_CHECK(reread.Genre() == tag.Genre());
    return 0;
}
