#pragma once

// Shared pieces of the fuzz targets: a property check that survives NDEBUG, and a scratch
// folder (in memory when /dev/shm is there) that lives as long as the fuzzing process.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <unistd.h>

#include "core/shell/utf8.hpp"

// A violated property is a finding: report it and abort so that libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                     \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: property violated: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (false)

namespace mev::fuzz {

inline const std::string& ScratchFolder()
{
    // Never freed: the clean-up at exit runs after static objects are gone.
    static const std::string* folder = [] {
        std::string parent = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        auto* pattern = new std::string(parent + "/mev-fuzz-XXXXXX");
        if (mkdtemp(pattern->data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(ScratchFolder(), ec);
        });
        return pattern;
    }();
    return *folder;
}

// An empty folder under the scratch folder, emptied again on every call.
inline std::string FreshFolder(std::string_view name)
{
    const std::string path = ScratchFolder() + "/" + std::string(name);
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    std::filesystem::create_directories(path, ec);
    return path;
}

inline bool WriteBytes(const std::string& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// A name a folder can hold: no '/' and no NUL (both become '_'), never "", "." or "..".
inline std::string MakeFileName(std::string name)
{
    for (char& c : name) {
        if (c == '/' || c == '\0')
            c = '_';
    }
    if (name.empty() || name == "." || name == "..")
        name += "_";
    if (name.size() > 200)
        name.resize(200);
    return name;
}

inline std::size_t Count(std::string_view text, char c)
{
    std::size_t n = 0;
    for (char x : text)
        n += x == c;
    return n;
}

inline bool IsUtf8(std::string_view text)
{
    while (!text.empty()) {
        char32_t cp = 0;
        const std::size_t length = Utf8SequenceAt(text, cp);
        if (length == 0)
            return false;
        text.remove_prefix(length);
    }
    return true;
}

} // namespace mev::fuzz
