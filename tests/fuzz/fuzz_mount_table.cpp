// /proc/self/mountinfo text: every entry parsed has an absolute mount point that finds a
// mount at least as deep as itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.hpp"
#include "platform/mount_table.hpp"

using namespace mev;

namespace {

std::size_t TrimmedLength(const std::string& point)
{
    std::size_t length = point.size();
    while (length > 1 && point[length - 1] == '/')
        --length;
    return length;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto mounts = ParseMountInfo(text);
    FUZZ_CHECK(mounts.size() <= static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    static const std::string noSys = fuzz::ScratchFolder() + "/no-sys";
    for (const MountEntry& mount : mounts) {
        FUZZ_CHECK(!mount.mountPoint.empty() && mount.mountPoint[0] == '/');
        const MountEntry* found = FindMountFor(mounts, mount.mountPoint);
        FUZZ_CHECK(found != nullptr);
        FUZZ_CHECK(TrimmedLength(found->mountPoint) >= TrimmedLength(mount.mountPoint));
        (void)ClassifyMount(mount, noSys);
    }
    (void)FindMountFor(mounts, text);
    return 0;
}
