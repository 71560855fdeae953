#pragma once

namespace mev {

// Kinds of storage a path may lie on; the values are those the program has always used.
enum class DriveType : int {
    Unknown = 0,
    NoRoot = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    Disc = 5,
    RamDisk = 6,
};

} // namespace mev
