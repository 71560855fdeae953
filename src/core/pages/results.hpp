#pragma once

#include <cstdint>

namespace mev {

// Result codes and data-notification flags of the page engine and the script bridge.
// The values are fixed: callers and tests compare against them.
using HResult = std::int32_t;

inline constexpr HResult S_OK = 0;
inline constexpr HResult S_FALSE = 1;
inline constexpr HResult E_PENDING = static_cast<HResult>(0x8000000A);
inline constexpr HResult E_NOTIMPL = static_cast<HResult>(0x80004001);
inline constexpr HResult E_FAIL = static_cast<HResult>(0x80004005);
inline constexpr HResult INET_E_CANNOT_LOAD_DATA = static_cast<HResult>(0x800C000F);
inline constexpr HResult DISP_E_MEMBERNOTFOUND = static_cast<HResult>(0x80020003);
inline constexpr HResult DISP_E_UNKNOWNNAME = static_cast<HResult>(0x80020006);

inline constexpr std::uint32_t BSCF_FIRSTDATANOTIFICATION = 0x01;
inline constexpr std::uint32_t BSCF_INTERMEDIATEDATANOTIFICATION = 0x02;
inline constexpr std::uint32_t BSCF_LASTDATANOTIFICATION = 0x04;
inline constexpr std::uint32_t BSCF_DATAFULLYAVAILABLE = 0x08;
inline constexpr std::uint32_t BSCF_AVAILABLEDATASIZEUNKNOWN = 0x10;

} // namespace mev
