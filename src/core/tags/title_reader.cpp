#include "core/tags/title_reader.hpp"

#include "core/media/playlist.hpp"
#include "core/shell/file_names.hpp"
#include "core/shell/service_slot.hpp"
#include "core/tags/id3v1_tag.hpp"

namespace mev {

namespace {

constinit CServiceSlot<const ITitleReader> g_titleReader;

} // namespace

void SetTitleReader(std::shared_ptr<const ITitleReader> reader)
{
    g_titleReader.Set(std::move(reader));
}

std::shared_ptr<const ITitleReader> GetTitleReader()
{
    return g_titleReader.Get();
}

std::string ReadAudioTitle(const std::string& path)
{
    if (GetFileExtension(path) == "mp3") {
        CId3v1Tag tag;
        if (tag.Read(path)) {
            std::string title = tag.GetTitle();
            if (!title.empty())
                return title;
        }
    }
    // A playlist is text: no tag library need look at it.
    if (IsPlaylistName(path))
        return {};
    const auto reader = GetTitleReader();
    return reader ? reader->ReadTitle(path) : std::string();
}

} // namespace mev
