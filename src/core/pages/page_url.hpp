#pragma once

#include <string>
#include <string_view>

namespace mev {

// Splits a mev: URL ("mev://images/?/home/me/Pictures", escapes allowed) into its host,
// lower-cased, and its argument, the decoded text after the first '?'. Fails unless the
// scheme is "mev", a host is present, the argument is not empty and it names an existing
// file or folder.
bool ParsePageUrl(std::string_view url, std::string& host, std::string& argument);

} // namespace mev
