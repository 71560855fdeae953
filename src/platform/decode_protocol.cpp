#include "platform/decode_protocol.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>

#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/socket.h>
#include <unistd.h>

namespace mev {

namespace {

// Waits until the socket has data; false at the deadline.
bool WaitReadable(int socket, DecodeDeadline deadline)
{
    for (;;) {
        int timeout = -1;
        if (deadline != DecodeDeadline::max()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            timeout = static_cast<int>(std::min<long long>(left.count() + 1, 60'000));
        }
        pollfd watched{socket, POLLIN, 0};
        const int ready = poll(&watched, 1, timeout);
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

// The text fields of PictureInfo in the order they travel.
std::string PictureInfo::* const INFO_TEXTS[] = {
    &PictureInfo::dateTaken, &PictureInfo::make,        &PictureInfo::model,       &PictureInfo::lens,
    &PictureInfo::exposureTime, &PictureInfo::fNumber, &PictureInfo::iso,         &PictureInfo::focalLength,
    &PictureInfo::latitude,  &PictureInfo::latitudeRef, &PictureInfo::longitude,  &PictureInfo::longitudeRef,
};

// The longest field a helper may send: a camera's text, not a file hidden in a header.
constexpr std::size_t MAX_INFO_FIELD = 4096;

} // namespace

std::string PictureExtensionOf(std::string_view path)
{
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || path.find('/', dot) != std::string_view::npos || path.size() - dot > 12)
        return {};
    std::string extension = ".";
    for (std::size_t i = dot + 1; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (!std::isalnum(c))
            return {};
        extension.push_back(static_cast<char>(std::tolower(c)));
    }
    return extension;
}

// "<width> <height>", then each text field as "<length>:<bytes>": a field may hold any
// byte, a newline too.
std::string EncodePictureInfo(const PictureInfo& info)
{
    std::string text = std::to_string(info.width) + " " + std::to_string(info.height) + "\n";
    for (std::string PictureInfo::* field : INFO_TEXTS) {
        const std::string value = (info.*field).substr(0, MAX_INFO_FIELD);
        text += std::to_string(value.size()) + ":" + value;
    }
    return text;
}

std::optional<PictureInfo> DecodePictureInfo(std::string_view text)
{
    const auto number = [&text](char end, auto& value) {
        const auto [next, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || next == text.data() + text.size() || *next != end)
            return false;
        text.remove_prefix(static_cast<std::size_t>(next - text.data()) + 1);
        return true;
    };
    PictureInfo info;
    if (!number(' ', info.width) || !number('\n', info.height) || info.width <= 0 || info.height <= 0)
        return std::nullopt;
    for (std::string PictureInfo::* field : INFO_TEXTS) {
        std::size_t length = 0;
        if (!number(':', length) || length > MAX_INFO_FIELD || length > text.size())
            return std::nullopt;
        info.*field = std::string(text.substr(0, length));
        text.remove_prefix(length);
    }
    if (!text.empty())
        return std::nullopt;
    return info;
}

bool SendAll(int socket, const void* data, std::size_t length)
{
    const auto* bytes = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t sent = send(socket, bytes, length, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        bytes += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool SendWithFd(int socket, const void* data, std::size_t length, int fd)
{
    iovec part{const_cast<void*>(data), length};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &fd, sizeof(int));
    ssize_t sent = 0;
    do {
        sent = sendmsg(socket, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent <= 0)
        return false;
    return SendAll(socket, static_cast<const char*>(data) + sent, length - static_cast<std::size_t>(sent));
}

bool ReceiveAll(int socket, void* data, std::size_t length, DecodeDeadline deadline)
{
    auto* bytes = static_cast<char*>(data);
    while (length > 0) {
        if (!WaitReadable(socket, deadline))
            return false;
        const ssize_t got = recv(socket, bytes, length, 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return false;
        bytes += got;
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

int ReceiveWithFd(int socket, void* data, std::size_t length)
{
    iovec part{data, length};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    ssize_t got = 0;
    do {
        got = recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
    } while (got < 0 && errno == EINTR);
    if (got <= 0)
        return -1;
    int fd = -1;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr; header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS && header->cmsg_len >= CMSG_LEN(sizeof(int)))
            std::memcpy(&fd, CMSG_DATA(header), sizeof(int));
    }
    if (fd < 0)
        return -1;
    if (!ReceiveAll(socket, static_cast<char*>(data) + got, length - static_cast<std::size_t>(got))) {
        close(fd);
        return -1;
    }
    return fd;
}

void LowerThreadNiceness(int niceness)
{
    const auto thread = static_cast<id_t>(syscall(SYS_gettid));
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, thread);
    if (errno == 0 && current < niceness)
        setpriority(PRIO_PROCESS, thread, niceness);
}

} // namespace mev
