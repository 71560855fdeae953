#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/shell/drive_type.hpp"

namespace mev {

// One line of /proc/self/mountinfo.
struct MountEntry {
    unsigned major = 0;
    unsigned minor = 0;
    std::string mountPoint;
    std::string fsType;
    std::string source;
};

// The entries of a mountinfo text in their order; lines that do not parse are skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// The entry whose mount point holds the absolute path: the longest matching mount point,
// the later entry when one is mounted over another. Null when none matches.
const MountEntry* FindMountFor(const std::vector<MountEntry>& mounts, std::string_view path);

// Disc for iso9660/udf, Remote for network file systems, RamDisk for tmpfs, Removable
// or Fixed for a block device by its "removable" flag under sysRoot, Fixed for other
// local disk file systems, Unknown for the kernel's own (proc, sysfs, ...).
DriveType ClassifyMount(const MountEntry& mount, const std::string& sysRoot = "/sys");

} // namespace mev
