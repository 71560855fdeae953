#pragma once

#include <string>

namespace mev {

// How a system call went: ok, or the errno it failed with. The core's file functions
// return one rather than leaving the reason in errno, where the next call may replace it.
class CStatus {
public:
    constexpr CStatus() = default;
    // 0 is ok.
    constexpr explicit CStatus(int code) : m_code(code) {}
    // The errno of the call that has just failed; EIO when it left none.
    static CStatus LastError();

    constexpr bool IsOk() const { return m_code == 0; }
    constexpr explicit operator bool() const { return m_code == 0; }
    constexpr int Code() const { return m_code; }
    // The system's wording of the failure.
    std::string Text() const;

private:
    int m_code = 0;
};

} // namespace mev
