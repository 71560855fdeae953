#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/pages/picture_info.hpp"

namespace mev {

// What the program and a decode helper say to each other over their stream socket. The
// program sends a request with the picture's open file attached; the helper may ask for
// room in the memory budget (answered with a DecodeAnswer) before it decodes, any number
// of times, and ends with a result: the encoded picture follows it. Asked for a picture's
// information, the helper reads its header only and sends the fields (EncodePictureInfo).
enum class DecodeKind : std::uint32_t { Thumbnail = 1, Rendition = 2, Info = 3 };

struct DecodeRequest {
    std::uint32_t kind = 0;
    std::int32_t size = 0;
    char extension[16] = {};
};

enum class DecodeReplyType : std::uint32_t { Ready = 1, Room = 2, Result = 3, Failed = 4 };

struct DecodeReply {
    std::uint32_t type = 0;
    std::uint32_t damaged = 0;
    std::uint64_t bytes = 0; // room asked for, or the length of the picture that follows
    std::int32_t width = 0;
    std::int32_t height = 0;
    char mimeType[16] = {};
};

struct DecodeAnswer {
    std::uint32_t granted = 0;
};

// The descriptor the helper finds its socket on.
inline constexpr int DECODE_SOCKET_FD = 3;
// Readers open pictures by a name with the file's extension, which some loaders choose
// by: in the sandbox, the links "picture.<ext>" to /proc/self/fd/DECODE_PICTURE_FD.
inline constexpr int DECODE_PICTURE_FD = 10;

// Run as "mev-decode --list-types", the helper writes the picture types it reads and the
// files that decide them, a line each: "type .jpg", "stamp /usr/lib/.../libvips.so.42".
inline constexpr const char* LIST_TYPES_OPTION = "--list-types";

// The helper's libvips half, a module in the helper's folder (platform/vips_pictures.hpp).
inline constexpr const char* VIPS_MODULE_NAME = "mev-decode-vips.so";

// ".jpg" from ".../a.JPG"; "" for anything odd.
std::string PictureExtensionOf(std::string_view path);

// A picture's information as the helper sends it (the file size is the program's own),
// and back; nothing for text that is not one.
std::string EncodePictureInfo(const PictureInfo& info);
std::optional<PictureInfo> DecodePictureInfo(std::string_view text);

// Decoding runs below the window's priority, so that scrolling and clicks stay quick
// while every processor makes thumbnails; work nobody waits on runs below it.
constexpr int DECODE_NICENESS = 10;
constexpr int BACKGROUND_NICENESS = DECODE_NICENESS + 5;

// Lowers the calling thread alone to niceness, unless it is that low already; for good,
// since an unprivileged thread cannot raise it again.
void LowerThreadNiceness(int niceness);

using DecodeDeadline = std::chrono::steady_clock::time_point;

// Whole messages or nothing; false when the other side went away or the deadline passed.
bool SendAll(int socket, const void* data, std::size_t length);
bool SendWithFd(int socket, const void* data, std::size_t length, int fd);
bool ReceiveAll(int socket, void* data, std::size_t length, DecodeDeadline deadline = DecodeDeadline::max());
// Receives a message with a descriptor attached: the descriptor, or -1.
int ReceiveWithFd(int socket, void* data, std::size_t length);

} // namespace mev
