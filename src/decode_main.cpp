// mev-decode: decodes pictures for MEV, one at a time, in a process of its own, so that
// a loader that crashes, hangs or is exploited by a hostile file takes down this helper
// only. MEV starts it (normally inside a sandbox) with a stream socket on descriptor 3
// and sends it open picture files; see platform/decode_protocol.hpp.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include <linux/close_range.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "core/files/user_file.hpp"
#include "platform/decode_protocol.hpp"
#include "platform/exif_reader.hpp"
#include "platform/picture_decoder.hpp"

namespace {

using namespace mev;

// System calls a picture decoder has no business making: network, running programs,
// looking into other processes, changing the sandbox. They fail with EPERM, so that a
// library that tries one (a font lookup, a delegate) fails its own way.
bool ApplySyscallFilter()
{
    static const int DENIED[] = {
        SCMP_SYS(socket),        SCMP_SYS(connect),      SCMP_SYS(bind),           SCMP_SYS(listen),
        SCMP_SYS(accept),        SCMP_SYS(accept4),      SCMP_SYS(execve),         SCMP_SYS(execveat),
        SCMP_SYS(ptrace),        SCMP_SYS(process_vm_readv), SCMP_SYS(process_vm_writev), SCMP_SYS(mount),
        SCMP_SYS(umount2),       SCMP_SYS(pivot_root),   SCMP_SYS(chroot),         SCMP_SYS(unshare),
        SCMP_SYS(setns),         SCMP_SYS(keyctl),       SCMP_SYS(add_key),        SCMP_SYS(request_key),
        SCMP_SYS(bpf),           SCMP_SYS(perf_event_open), SCMP_SYS(userfaultfd), SCMP_SYS(kexec_load),
        SCMP_SYS(init_module),   SCMP_SYS(finit_module), SCMP_SYS(delete_module),  SCMP_SYS(name_to_handle_at),
        SCMP_SYS(open_by_handle_at), SCMP_SYS(io_uring_setup),
    };
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
    if (filter == nullptr)
        return false;
    bool ok = true;
    for (int call : DENIED)
        ok = ok && seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), call, 0) == 0;
    ok = ok && seccomp_load(filter) == 0;
    seccomp_release(filter);
    return ok;
}

// Test switches, honoured here only: a picture whose bytes hold the text makes this
// helper abort, or hang, as a loader that crashes or loops would.
bool FileHolds(int fd, const char* mark)
{
    if (mark == nullptr || *mark == '\0')
        return false;
    std::string bytes(1 << 20, '\0');
    const ssize_t got = pread(fd, bytes.data(), bytes.size(), 0);
    return got > 0 && std::string_view(bytes.data(), static_cast<std::size_t>(got)).find(mark) != std::string_view::npos;
}

[[noreturn]] void End()
{
    CPictureDecoder::RemoveAliasFolder();
    _exit(0); // no exit handlers: nothing of the decoders' state needs tearing down
}

void Reply(const DecodeReply& reply, const std::string& data = {})
{
    if (!SendAll(DECODE_SOCKET_FD, &reply, sizeof(reply)) || !SendAll(DECODE_SOCKET_FD, data.data(), data.size()))
        End();
}

// "--list-types": what the program lists as pictures, and the files that decide it.
int ListTypes()
{
    // Without its libvips module the helper still reads JPEG, PNG, GIF and BMP files.
    CPictureDecoder::Initialise();
    char* self = realpath("/proc/self/exe", nullptr);
    if (self != nullptr)
        std::printf("stamp %s\n", self);
    std::free(self);
    for (const std::string& stamp : CPictureDecoder::GetTypeStamps())
        std::printf("stamp %s\n", stamp.c_str());
    for (const std::string& extension : CPictureDecoder().GetPictureExtensions())
        std::printf("type %s\n", extension.c_str());
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::string_view(argv[1]) == LIST_TYPES_OPTION)
        return ListTypes();
    std::uint64_t memoryLimit = 0;
    const char* linkFolder = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view option = argv[i];
        if (option == "--memory")
            memoryLimit = std::strtoull(argv[i + 1], nullptr, 10);
        else if (option == "--links")
            linkFolder = argv[i + 1];
    }
    // Only the socket: nothing else the program had open belongs here.
    close_range(DECODE_SOCKET_FD + 1, ~0U, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    if (memoryLimit > 0) {
        const rlimit memory{memoryLimit, memoryLimit};
        setrlimit(RLIMIT_AS, &memory);
    }
    // Below the window's priority, as decodes in the program were. The session of its
    // own puts the helper in a scheduling group of its own, which keeps the default
    // weight: lowered too, a group would get a tenth of its share on a busy machine,
    // where decode threads inside the program had the program's whole share.
    setpriority(PRIO_PROCESS, 0, DECODE_NICENESS);
    // libvips is loaded with the first picture that needs it: JPEG, PNG, GIF
    // and BMP files do not.
    CPictureDecoder::UseLinkFolder(linkFolder);
    if (!ApplySyscallFilter())
        return 1;
    const char* abortMark = std::getenv("MEV_DECODE_TEST_ABORT");
    const char* hangMark = std::getenv("MEV_DECODE_TEST_HANG");

    DecodeReply ready;
    ready.type = static_cast<std::uint32_t>(DecodeReplyType::Ready);
    Reply(ready);
    for (;;) {
        DecodeRequest request;
        const int received = ReceiveWithFd(DECODE_SOCKET_FD, &request, sizeof(request));
        if (received < 0)
            End(); // the program went, or closed the helper
        int fd = received;
        if (received != DECODE_PICTURE_FD) {
            fd = dup2(received, DECODE_PICTURE_FD) == DECODE_PICTURE_FD ? DECODE_PICTURE_FD : received;
            if (fd != received)
                close(received);
        }
        const CUniqueFd file(fd);
        if (FileHolds(fd, abortMark))
            std::abort();
        if (FileHolds(fd, hangMark)) {
            for (;;)
                pause();
        }
        request.extension[sizeof(request.extension) - 1] = '\0';
        const std::string extension = request.extension;
        const auto reserve = [](std::uint64_t bytes) {
            DecodeReply room;
            room.type = static_cast<std::uint32_t>(DecodeReplyType::Room);
            room.bytes = bytes;
            Reply(room);
            DecodeAnswer answer;
            if (!ReceiveAll(DECODE_SOCKET_FD, &answer, sizeof(answer)))
                End();
            return answer.granted != 0;
        };
        if (request.kind == static_cast<std::uint32_t>(DecodeKind::Info)) {
            DecodeReply result;
            const auto info = CExifReader::ReadFrom(fd);
            if (!info) {
                result.type = static_cast<std::uint32_t>(DecodeReplyType::Failed);
                Reply(result);
                continue;
            }
            const std::string text = EncodePictureInfo(*info);
            result.type = static_cast<std::uint32_t>(DecodeReplyType::Result);
            result.bytes = text.size();
            result.width = info->width;
            result.height = info->height;
            Reply(result, text);
            continue;
        }
        const auto picture = request.kind == static_cast<std::uint32_t>(DecodeKind::Thumbnail)
            ? CPictureDecoder::DecodeThumbnail(fd, extension, request.size, reserve)
            : CPictureDecoder::DecodeRendition(fd, extension, reserve);
        DecodeReply result;
        if (!picture) {
            result.type = static_cast<std::uint32_t>(DecodeReplyType::Failed);
            Reply(result);
            continue;
        }
        result.type = static_cast<std::uint32_t>(DecodeReplyType::Result);
        result.damaged = picture->damaged ? 1 : 0;
        result.bytes = picture->bytes.size();
        result.width = picture->sourceWidth;
        result.height = picture->sourceHeight;
        std::strncpy(result.mimeType, picture->mimeType.c_str(), sizeof(result.mimeType) - 1);
        Reply(result, picture->bytes);
    }
}
