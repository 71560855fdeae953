#include "platform/mount_table.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace mev {

namespace {

std::vector<std::string_view> SplitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (pos < line.size()) {
        const auto start = line.find_first_not_of(' ', pos);
        if (start == std::string_view::npos)
            break;
        auto end = line.find(' ', start);
        if (end == std::string_view::npos)
            end = line.size();
        fields.push_back(line.substr(start, end - start));
        pos = end;
    }
    return fields;
}

// The kernel writes blanks, tabs, line breaks and backslashes of names as \ooo.
std::string Unescape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()) {
            const char a = text[i + 1], b = text[i + 2], c = text[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out.push_back(static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

bool ParseNumber(std::string_view text, unsigned& value)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool OneOf(std::string_view value, std::initializer_list<std::string_view> list)
{
    return std::find(list.begin(), list.end(), value) != list.end();
}

bool IsRemote(std::string_view fs)
{
    if (OneOf(fs, {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "ceph", "9p", "glusterfs", "lustre",
                   "coda", "davfs", "gfs2", "ocfs2"}))
        return true;
    // FUSE types carry the helper's name: fuse.sshfs, fuse.rclone, fuse.davfs2, ...
    if (fs.rfind("fuse.", 0) == 0) {
        const std::string_view helper = fs.substr(5);
        return OneOf(helper, {"sshfs", "rclone", "davfs2", "s3fs", "gvfsd-fuse", "glusterfs", "curlftpfs", "smbnetfs"});
    }
    return false;
}

bool IsKernelOnly(std::string_view fs)
{
    return OneOf(fs, {"proc", "sysfs", "devtmpfs", "devpts", "cgroup", "cgroup2", "debugfs", "tracefs",
                      "securityfs", "pstore", "bpf", "configfs", "fusectl", "mqueue", "hugetlbfs", "autofs",
                      "binfmt_misc", "efivarfs", "nsfs", "rpc_pipefs", "selinuxfs", "nfsd"});
}

bool IsLocalDiskFs(std::string_view fs)
{
    return OneOf(fs, {"ext2", "ext3", "ext4", "xfs", "btrfs", "zfs", "f2fs", "jfs", "reiserfs", "vfat", "msdos",
                      "exfat", "ntfs", "ntfs3", "fuseblk", "hfs", "hfsplus", "apfs", "nilfs2", "bcachefs",
                      "overlay", "squashfs", "erofs", "fuse.ntfs-3g"});
}

std::string ReadFirstLine(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The "removable" flag of the disk that holds the device; a partition asks its disk.
// Empty when sysfs does not know the device.
std::string RemovableFlag(unsigned major, unsigned minor, const std::string& sysRoot)
{
    std::error_code ec;
    const std::filesystem::path link =
        std::filesystem::path(sysRoot) / "dev/block" / (std::to_string(major) + ":" + std::to_string(minor));
    std::filesystem::path device = std::filesystem::canonical(link, ec);
    if (ec)
        return {};
    if (std::filesystem::exists(device / "partition", ec))
        device = device.parent_path();
    return ReadFirstLine(device / "removable");
}

} // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text)
{
    std::vector<MountEntry> entries;
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;

        // id parent major:minor root mount-point options [optional...] - type source super-options
        const auto fields = SplitFields(line);
        const auto dash = std::find(fields.begin(), fields.end(), std::string_view("-"));
        if (fields.size() < 6 || dash == fields.end() || dash - fields.begin() < 6 || fields.end() - dash < 3)
            continue;
        const std::string_view device = fields[2];
        const auto colon = device.find(':');
        MountEntry entry;
        if (colon == std::string_view::npos || !ParseNumber(device.substr(0, colon), entry.major)
            || !ParseNumber(device.substr(colon + 1), entry.minor))
            continue;
        entry.mountPoint = Unescape(fields[4]);
        entry.fsType = Unescape(dash[1]);
        entry.source = Unescape(dash[2]);
        if (entry.mountPoint.empty() || entry.mountPoint.front() != '/')
            continue;
        entries.push_back(std::move(entry));
    }
    return entries;
}

const MountEntry* FindMountFor(const std::vector<MountEntry>& mounts, std::string_view path)
{
    const MountEntry* best = nullptr;
    std::size_t bestLength = 0;
    for (const auto& mount : mounts) {
        std::string_view point = mount.mountPoint;
        while (point.size() > 1 && point.back() == '/')
            point.remove_suffix(1);
        // "/media/cd" holds "/media/cd" and "/media/cd/x" but not "/media/cdrom".
        const bool holds = point == "/"
            ? !path.empty() && path.front() == '/'
            : path.rfind(point, 0) == 0 && (path.size() == point.size() || path[point.size()] == '/');
        if (!holds)
            continue;
        if (best == nullptr || point.size() >= bestLength) {
            best = &mount;
            bestLength = point.size();
        }
    }
    return best;
}

DriveType ClassifyMount(const MountEntry& mount, const std::string& sysRoot)
{
    const std::string_view fs = mount.fsType;
    if (fs == "iso9660" || fs == "udf")
        return DriveType::Disc;
    if (IsRemote(fs))
        return DriveType::Remote;
    if (fs == "tmpfs" || fs == "ramfs")
        return DriveType::RamDisk;
    if (IsKernelOnly(fs))
        return DriveType::Unknown;

    // Some file systems (btrfs) show an anonymous device number; the source names the disk.
    unsigned major = mount.major;
    unsigned minor = mount.minor;
    struct stat info {};
    if (mount.source.rfind("/dev/", 0) == 0 && stat(mount.source.c_str(), &info) == 0 && S_ISBLK(info.st_mode)) {
        major = ::major(info.st_rdev);
        minor = ::minor(info.st_rdev);
    }
    if (major != 0) {
        const std::string flag = RemovableFlag(major, minor, sysRoot);
        if (flag == "1")
            return DriveType::Removable;
        if (!flag.empty() || IsLocalDiskFs(fs))
            return DriveType::Fixed;
    }
    return IsLocalDiskFs(fs) ? DriveType::Fixed : DriveType::Unknown;
}

} // namespace mev
