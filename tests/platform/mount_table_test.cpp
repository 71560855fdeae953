#include "platform/mount_table.hpp"

#include <filesystem>

#include <gtest/gtest.h>

#include "platform_test_env.hpp"

namespace mev {
namespace {

namespace fs = std::filesystem;

// Shapes seen in real mountinfo files, plus lines that must be passed over.
const char* const SAMPLE =
    "22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/mev-test-sda2 rw,errors=remount-ro\n"
    "23 22 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "24 22 0:22 / /sys rw,nosuid shared:7 - sysfs sysfs rw\n"
    "25 22 0:23 / /dev/shm rw,nosuid,nodev shared:4 - tmpfs tmpfs rw,inode64\n"
    "30 22 8:17 / /media/u/My\\040Stick rw,nosuid,nodev,relatime shared:300 - vfat /dev/mev-test-sdb1 rw\n"
    "31 22 11:0 / /media/u/CD\\040ROM ro,nosuid,nodev,relatime shared:301 - iso9660 /dev/mev-test-sr0 ro\n"
    "32 22 0:50 / /mnt/nas rw,relatime shared:302 - nfs4 server:/export rw,vers=4.2\n"
    "33 22 0:51 / /home/u/remote rw,nosuid,nodev,relatime shared:303 - fuse.sshfs u@host:/ rw,user_id=0\n"
    "34 22 0:52 / /mnt/win rw,relatime - cifs //server/share rw\n"
    "35 22 8:3 / /data rw,relatime master:5 propagate_from:1 - btrfs /dev/mev-test-sda3 rw\n"
    "36 22 259:1 / /media/u/DVD ro - udf /dev/mev-test-sr1 ro\n"
    "37 22 8:17 / /media/u/Back\\134slash rw - vfat /dev/mev-test-sdb1 rw\n"
    "38 22 0:60 / /media/u/My\\040Stick rw - ext4 /dev/mev-test-other rw\n"
    "garbage line\n"
    "39 22 x:y / /bad rw - ext4 /dev/x rw\n"
    "40 22 8:4 / /nodash rw ext4 /dev/x rw\n"
    "41 22 8:4 / relative rw - ext4 /dev/x rw\n"
    "42 22 8:4 / /short rw -\n"
    "\n"
    "43 22 0:70 / /var/lib/docker/overlay rw - overlay overlay rw,lowerdir=/a\n"
    "44 22 0:71 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw";

TEST(MountTable, Parse)
{
    const auto mounts = ParseMountInfo(SAMPLE);
    ASSERT_EQ(mounts.size(), 15u);
    EXPECT_EQ(mounts[0].mountPoint, "/");
    EXPECT_EQ(mounts[0].fsType, "ext4");
    EXPECT_EQ(mounts[0].source, "/dev/mev-test-sda2");
    EXPECT_EQ(mounts[0].major, 8u);
    EXPECT_EQ(mounts[0].minor, 2u);
    EXPECT_EQ(mounts[4].mountPoint, "/media/u/My Stick");
    EXPECT_EQ(mounts[9].fsType, "btrfs") << "optional fields before the dash are skipped";
    EXPECT_EQ(mounts[10].major, 259u);
    EXPECT_EQ(mounts[11].mountPoint, "/media/u/Back\\slash");
    EXPECT_EQ(mounts.back().fsType, "cgroup2") << "the last line needs no line break";
    EXPECT_TRUE(ParseMountInfo("").empty());
    EXPECT_TRUE(ParseMountInfo("\n\n- - -\n").empty());
}

TEST(MountTable, FindTheMountOfAPath)
{
    const auto mounts = ParseMountInfo(SAMPLE);
    const std::pair<const char*, const char*> cases[] = {
        {"/", "/"},
        {"/home/u/pics", "/"},
        {"/proc", "/proc"},
        {"/proc/self", "/proc"},
        {"/processes", "/"},
        {"/media/u/My Stick/DCIM/a.jpg", "/media/u/My Stick"},
        {"/media/u/My Sticker", "/"},
        {"/media/u/CD ROM", "/media/u/CD ROM"},
        {"/home/u/remote/x", "/home/u/remote"},
        {"/sys/fs/cgroup/x", "/sys/fs/cgroup"},
    };
    for (const auto& [path, point] : cases) {
        const MountEntry* mount = FindMountFor(mounts, path);
        ASSERT_NE(mount, nullptr) << path;
        EXPECT_EQ(mount->mountPoint, point) << path;
    }
    EXPECT_EQ(FindMountFor(mounts, "/media/u/My Stick/x")->fsType, "ext4") << "the later mount lies on top";
    EXPECT_EQ(FindMountFor(mounts, "relative/path"), nullptr);
    EXPECT_EQ(FindMountFor({}, "/"), nullptr);
}

TEST(MountTable, Classify)
{
    // A sysfs of our own: disk sdb (8:16) is removable and its partition sdb1 (8:17)
    // asks it; disk sda (8:0) with partitions 8:2 and 8:3 is not; 259:1 is unknown.
    test::CTempFolder sys;
    fs::create_directories(sys / "devices/pci/sdb/sdb1");
    fs::create_directories(sys / "devices/pci/sda/sda2");
    fs::create_directories(sys / "devices/pci/sda/sda3");
    fs::create_directories(sys / "devices/virtual/sr0");
    fs::create_directories(sys / "dev/block");
    test::WriteFile(sys / "devices/pci/sdb/removable", "1\n");
    test::WriteFile(sys / "devices/pci/sdb/sdb1/partition", "1\n");
    test::WriteFile(sys / "devices/pci/sda/removable", "0\n");
    test::WriteFile(sys / "devices/pci/sda/sda2/partition", "2\n");
    test::WriteFile(sys / "devices/pci/sda/sda3/partition", "3\n");
    test::WriteFile(sys / "devices/virtual/sr0/removable", "1\n");
    fs::create_directory_symlink("../../devices/pci/sdb/sdb1", sys / "dev/block/8:17");
    fs::create_directory_symlink("../../devices/pci/sda/sda2", sys / "dev/block/8:2");
    fs::create_directory_symlink("../../devices/pci/sda/sda3", sys / "dev/block/8:3");
    fs::create_directory_symlink("../../devices/virtual/sr0", sys / "dev/block/11:0");

    const auto mounts = ParseMountInfo(SAMPLE);
    const std::pair<const char*, DriveType> cases[] = {
        {"/", DriveType::Fixed},
        {"/proc", DriveType::Unknown},
        {"/sys", DriveType::Unknown},
        {"/dev/shm", DriveType::RamDisk},
        {"/media/u/Back\\slash", DriveType::Removable},
        {"/media/u/CD ROM", DriveType::Disc},
        {"/mnt/nas", DriveType::Remote},
        {"/home/u/remote", DriveType::Remote},
        {"/mnt/win", DriveType::Remote},
        {"/data", DriveType::Fixed},
        {"/media/u/DVD", DriveType::Disc},
        {"/media/u/My Stick", DriveType::Fixed},
        {"/var/lib/docker/overlay", DriveType::Fixed},
        {"/sys/fs/cgroup", DriveType::Unknown},
    };
    for (const auto& [point, expected] : cases) {
        const MountEntry* mount = FindMountFor(mounts, point);
        ASSERT_NE(mount, nullptr) << point;
        EXPECT_EQ(ClassifyMount(*mount, sys.Path()), expected) << point;
    }

    // An unknown file system on a block device goes by the device; without one it is unknown.
    MountEntry odd{8, 17, "/x", "weirdfs", "/dev/mev-test-sdb1"};
    EXPECT_EQ(ClassifyMount(odd, sys.Path()), DriveType::Removable);
    odd.major = 0;
    EXPECT_EQ(ClassifyMount(odd, sys.Path()), DriveType::Unknown);
    odd.major = 8;
    odd.minor = 99;
    EXPECT_EQ(ClassifyMount(odd, sys.Path()), DriveType::Unknown);
    EXPECT_EQ(ClassifyMount(odd, sys / "missing"), DriveType::Unknown);
}

} // namespace
} // namespace mev
