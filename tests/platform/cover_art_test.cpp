#include "platform/cover_art.hpp"

#include <fstream>
#include <regex>
#include <string>

#include <gtest/gtest.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>
#include <taglib/vorbisfile.h>

#include "special_files.hpp"
#include "tag_fixtures.hpp"
#include "temp_folder.hpp"

namespace mev {
namespace {

using test::CTempFolder;

// Picture bytes as a tag carries them: the head of a PNG (or of nothing) and a body that
// tells them apart. Nothing decodes them.
TagLib::ByteVector Png(const std::string& body)
{
    const std::string bytes = "\x89PNG\r\n\x1A\n" + body;
    return TagLib::ByteVector(bytes.data(), static_cast<unsigned>(bytes.size()));
}

std::string Text(const TagLib::ByteVector& bytes)
{
    return std::string(bytes.data(), bytes.size());
}

// An MP3 file with one APIC frame per picture, of the types given.
bool WriteMp3WithPictures(const std::string& path,
                          std::initializer_list<std::pair<TagLib::ByteVector, TagLib::ID3v2::AttachedPictureFrame::Type>> pictures)
{
    test::WriteBareMp3(path);
    TagLib::MPEG::File file(path.c_str(), false);
    for (const auto& [bytes, type] : pictures) {
        auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
        frame->setMimeType("image/png");
        frame->setType(type);
        frame->setPicture(bytes);
        file.ID3v2Tag(true)->addFrame(frame);
    }
    return file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers);
}

TagLib::FLAC::Picture* FlacPicture(const TagLib::ByteVector& bytes)
{
    auto* picture = new TagLib::FLAC::Picture;
    picture->setType(TagLib::FLAC::Picture::FrontCover);
    picture->setMimeType("image/png");
    picture->setData(bytes);
    return picture;
}

class CoverArtTest : public ::testing::Test {
protected:
    CTempFolder folder;
    const std::string cache = folder.File("cache/mev/covers");
};

TEST_F(CoverArtTest, TagPicturesOfEveryFormatAreWrittenToTheCacheUnderTheirHash)
{
    using Type = TagLib::ID3v2::AttachedPictureFrame::Type;
    // A name no path may be built from; the front cover wins over the one before it.
    const std::string mp3 = folder.File("a'b\n$(x) ..mp3");
    ASSERT_TRUE(WriteMp3WithPictures(mp3, {{Png("back"), Type::BackCover}, {Png("mp3 front"), Type::FrontCover}}));
    std::vector<std::pair<std::string, std::string>> files{{mp3, "mp3 front"}};

    const std::string flac = folder.File("t.flac");
    if (test::WriteEncodedClip(flac, "flacenc", "F")) {
        TagLib::FLAC::File file(flac.c_str(), false);
        file.addPicture(FlacPicture(Png("flac")));
        ASSERT_TRUE(file.save());
        files.emplace_back(flac, "flac");
    }
    const std::string ogg = folder.File("t.ogg");
    if (test::WriteEncodedClip(ogg, "vorbisenc ! oggmux", "O")) {
        TagLib::Ogg::Vorbis::File file(ogg.c_str(), false);
        file.tag()->addPicture(FlacPicture(Png("ogg")));
        ASSERT_TRUE(file.save());
        files.emplace_back(ogg, "ogg");
    }
    const std::string m4a = folder.File("t.m4a");
    if (test::WriteEncodedClip(m4a, "avenc_aac ! mp4mux", "M")) {
        TagLib::MP4::File file(m4a.c_str(), false);
        TagLib::MP4::CoverArtList covers;
        covers.append(TagLib::MP4::CoverArt(TagLib::MP4::CoverArt::PNG, Png("m4a")));
        file.tag()->setItem("covr", covers);
        ASSERT_TRUE(file.save());
        files.emplace_back(m4a, "m4a");
    }

    const std::regex hashed(cache + "/[0-9a-f]{64}\\.png");
    for (const auto& [path, body] : files) {
        const std::string art = FindCoverArt(path, cache);
        EXPECT_TRUE(std::regex_match(art, hashed)) << path << " -> " << art;
        EXPECT_EQ(CTempFolder::Read(art), Text(Png(body))) << path;
    }
    // The same picture again is the same file.
    EXPECT_EQ(FindCoverArt(mp3, cache), FindCoverArt(mp3, cache));
}

TEST_F(CoverArtTest, WithoutAUsableTagPictureThePictureBesideTheFileOrNone)
{
    using Type = TagLib::ID3v2::AttachedPictureFrame::Type;
    const std::string album = folder.MakeFolder("album");
    const std::string garbage = album + "/garbage.mp3";
    const std::string big = album + "/big.mp3";
    const std::string bare = album + "/bare.mp3";
    const std::string junk = "not a picture at all";
    ASSERT_TRUE(WriteMp3WithPictures(garbage, {{TagLib::ByteVector(junk.data(), junk.size()), Type::FrontCover}}));
    ASSERT_TRUE(WriteMp3WithPictures(big, {{Png(std::string(MAX_COVER_BYTES, 'x')), Type::FrontCover}}));
    test::WriteBareMp3(bare);
    ASSERT_TRUE(test::MakeFifo(album + "/fifo.mp3"));

    for (const std::string& path : {garbage, big, bare})
        EXPECT_EQ(FindCoverArt(path, cache), "") << path;
    // A picture beside the file, in any case; cover before folder.
    std::ofstream(album + "/Folder.JPG") << "folder picture";
    EXPECT_EQ(FindCoverArt(garbage, cache), album + "/Folder.JPG");
    std::ofstream(album + "/cover.png") << "cover picture";
    for (const std::string& path : {garbage, big, bare})
        EXPECT_EQ(FindCoverArt(path, cache), album + "/cover.png") << path;
    EXPECT_TRUE(test::FinishesWithin([&] { EXPECT_EQ(FindCoverArt(album + "/fifo.mp3", cache), ""); }));
}

TEST_F(CoverArtTest, ACacheThatCannotBeMadeLeavesThePictureBesideTheFile)
{
    // The cache's place is taken by a file.
    std::ofstream(folder.File("taken")) << "a file";
    const std::string mp3 = folder.File("tune.mp3");
    ASSERT_TRUE(WriteMp3WithPictures(mp3, {{Png("tune"), TagLib::ID3v2::AttachedPictureFrame::FrontCover}}));
    std::ofstream(folder.File("cover.jpg")) << "cover picture";
    EXPECT_EQ(FindCoverArt(mp3, folder.File("taken/covers")), folder.File("cover.jpg"));
}

TEST_F(CoverArtTest, TheCacheKeepsItsNewestPictures)
{
    for (int i = 0; i < MAX_CACHED_COVERS + 5; ++i) {
        const std::string mp3 = folder.File("t" + std::to_string(i) + ".mp3");
        ASSERT_TRUE(WriteMp3WithPictures(mp3, {{Png(std::to_string(i)), TagLib::ID3v2::AttachedPictureFrame::FrontCover}}));
        ASSERT_FALSE(FindCoverArt(mp3, cache).empty());
    }
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(cache))
        ++count;
    EXPECT_LE(count, MAX_CACHED_COVERS);
}

} // namespace
} // namespace mev
