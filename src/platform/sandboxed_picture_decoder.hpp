#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/pages/picture_info.hpp"
#include "core/thumbs/picture_decoder.hpp"

namespace mev {

// Has pictures decoded by helper processes (mev-decode), so that a loader that crashes,
// hangs or is exploited costs one picture, not the program. Each helper runs under
// bubblewrap: no network and no other namespaces shared, nothing writable, only system
// folders readable besides the one picture it is handed as an open file, a session of
// its own; it filters its own system calls, limits its address space and is killed
// after the time limit. Without a working bubblewrap (in a container), helpers run
// unsandboxed with the same limits, which the log says once. A few helpers are kept
// warm while pictures are being decoded, so that a decode costs no process start. The shared decode memory budget is
// kept here: a helper asks for room before it decodes. A picture's information (size,
// EXIF fields) is read by a helper too: the program itself never parses a picture.
class CSandboxedPictureDecoder : public IPictureDecoder, public IPictureInfoReader {
public:
    struct Options {
        std::string helperPath;
        std::uint64_t memoryLimit = 0;              // address space of a helper; 0: none
        std::chrono::milliseconds timeLimit{10'000}; // for one decode, then killed
        unsigned warmCount = 2;
        // Helpers that decoded nothing for that long are ended (once libvips is loaded
        // they hold tens of megabytes); the next picture, or Prepare, starts them again.
        // While KeepReady is on, one unused helper stays.
        std::chrono::milliseconds idleLimit{30'000};
        bool sandbox = true;                        // false: never bubblewrap
        std::vector<std::string> extensions;        // what the helper reads (LoadPictureTypes)
    };

    explicit CSandboxedPictureDecoder(Options options);
    ~CSandboxedPictureDecoder() override;
    CSandboxedPictureDecoder(const CSandboxedPictureDecoder&) = delete;
    CSandboxedPictureDecoder& operator=(const CSandboxedPictureDecoder&) = delete;

    // The helper beside the program (the build tree), in libexec/mev of its installation
    // prefix, or beside the folder of a program in a subfolder of the build tree (tests,
    // benchmarks); "" when there is none.
    static std::string FindHelper();
    // The decode budget plus what the loaders' code and heap take besides pixels.
    static std::uint64_t GetDefaultMemoryLimit();
    // The bubblewrap command that runs 'program' as a helper runs: what the sandbox is.
    static std::vector<std::string> MakeSandboxCommand(const std::string& bubblewrap,
                                                       const std::vector<std::string>& program,
                                                       const std::vector<std::string>& extensions);

    // Helpers that crashed, hung or broke the protocol since the start.
    std::uint64_t GetFailureCount() const;
    // Whether helpers run under bubblewrap; known once one has started.
    bool IsSandboxed() const;

    std::optional<EncodedPicture> MakeThumbnail(const std::string& path, int size) const override;
    std::optional<EncodedPicture> MakeRendition(const std::string& path) const override;
    std::vector<std::string> GetPictureExtensions() const override;
    void Prepare() const override;
    void KeepReady(bool on) const override;
    std::optional<PictureInfo> ReadPictureInfo(const std::string& path) const override;

    class CPool;

private:
    std::shared_ptr<CPool> m_pool;
};

} // namespace mev
