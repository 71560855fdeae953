#include "core/shell/status.hpp"

#include <cerrno>

#include "core/shell/system_error.hpp"

namespace mev {

CStatus CStatus::LastError()
{
    const int code = errno;
    return CStatus(code != 0 ? code : EIO);
}

std::string CStatus::Text() const
{
    return GetSystemErrorText(static_cast<unsigned long>(m_code));
}

} // namespace mev
