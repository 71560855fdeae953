#include "core/shell/system_error.hpp"

#include <climits>
#include <cstring>

namespace mev {

std::string GetSystemErrorText(unsigned long code)
{
    if (code <= static_cast<unsigned long>(INT_MAX)) {
        const int err = static_cast<int>(code);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
        // strerror invents "Unknown error N" (translated) for codes it does not know.
        const bool known = strerrorname_np(err) != nullptr;
#else
        const bool known = true;
#endif
        if (known) {
            char buffer[256] = {};
            const char* text = strerror_r(err, buffer, sizeof buffer);
            if (text != nullptr && *text != '\0')
                return text;
        }
    }
    return std::to_string(code);
}

} // namespace mev
