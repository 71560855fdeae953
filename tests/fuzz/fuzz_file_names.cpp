// The path helpers every listing goes through.
#include <cstddef>
#include <cstdint>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "core/shell/file_names.hpp"
#include "fuzz_support.hpp"

using namespace mev;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const unsigned number = input.ConsumeIntegral<std::uint16_t>();
    const std::string folder = input.ConsumeRandomLengthString(256);
    const std::string path = input.ConsumeRemainingBytesAsString();

    const std::string name = GetFileNamePart(path);
    FUZZ_CHECK(name.find('/') == std::string::npos);
    FUZZ_CHECK(path.size() >= name.size() && path.compare(path.size() - name.size(), name.size(), name) == 0);
    const std::string stem = GetFileNamePart(path, true);
    FUZZ_CHECK(name.rfind(stem, 0) == 0);

    const std::string extension = GetFileExtension(path);
    FUZZ_CHECK(extension.find_first_of("/.") == std::string::npos);
    for (char c : extension)
        FUZZ_CHECK(!(c >= 'A' && c <= 'Z'));
    if (!extension.empty())
        FUZZ_CHECK(name.size() > extension.size());

    const std::string collapsed = CollapseSlashes(path);
    FUZZ_CHECK(collapsed.find("//") == std::string::npos);
    FUZZ_CHECK(CollapseSlashes(collapsed) == collapsed);

    const std::string joined = JoinPath(folder, name);
    FUZZ_CHECK(joined.find("//") == std::string::npos);
    FUZZ_CHECK(GetFileNamePart(joined) == name || name.empty());

    const int root = GetRootLength(path);
    FUZZ_CHECK(root == -1 || (root > 0 && static_cast<std::size_t>(root) <= path.size() && path[0] == '/'));
    if (IsRootPath(path))
        FUZZ_CHECK(root > 0);

    // The documented rule, checked by plain trial division.
    bool expected = true;
    if (number >= 4) {
        if (number % 2 == 0) {
            expected = false;
        } else {
            for (unsigned i = 3; i < number / 2 + 1; i += 2) {
                if (number % i == 0) {
                    expected = false;
                    break;
                }
            }
        }
    }
    FUZZ_CHECK(IsPrime(number) == expected);
    return 0;
}
