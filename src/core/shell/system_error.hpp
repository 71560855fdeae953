#pragma once

#include <string>

namespace mev {

// The system's text for an errno value, or the number in decimal when it has none.
std::string GetSystemErrorText(unsigned long code);

} // namespace mev
