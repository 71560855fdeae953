#pragma once

// The one temporary folder of every test binary: a fresh folder, removed with all that is
// in it when the object goes, even where a test took its rights away.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace mev::test {

class CTempFolder {
public:
    // A fresh "mev-XXXXXX" folder under the default parent; the path stays empty when it
    // could not be made.
    CTempFolder() : CTempFolder(DefaultParent()) {}
    explicit CTempFolder(const std::filesystem::path& parent)
    {
        std::string pattern = (parent / "mev-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            m_path = std::move(pattern);
    }
    ~CTempFolder()
    {
        namespace fs = std::filesystem;
        if (m_path.empty())
            return;
        std::error_code ec;
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
        for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            if (it->is_directory(ec) && !it->is_symlink(ec))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
        fs::remove_all(m_path, ec);
    }
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(std::string_view name) const { return m_path + "/" + std::string(name); }
    std::string operator/(std::string_view name) const { return File(name); }

    // Writes bytes to name inside the folder; returns the full path.
    std::string Write(std::string_view name, std::string_view bytes = "data") const
    {
        const std::string path = File(name);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    // The whole content of a file, "" when it cannot be read.
    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Makes name (and the folders above it) inside the folder; returns the full path.
    std::string MakeFolder(std::string_view name) const
    {
        const std::string path = File(name);
        std::error_code ec;
        std::filesystem::create_directories(path, ec);
        return path;
    }

    // Where folders made without a parent go: the system's temporary folder unless the
    // test binary chose another (the display tests keep theirs where the web engine may
    // read them).
    static void SetDefaultParent(std::filesystem::path parent) { DefaultParentSlot() = std::move(parent); }

private:
    static std::filesystem::path& DefaultParentSlot()
    {
        static std::filesystem::path parent;
        return parent;
    }
    static std::filesystem::path DefaultParent()
    {
        const std::filesystem::path& chosen = DefaultParentSlot();
        return chosen.empty() ? std::filesystem::temp_directory_path() : chosen;
    }

    std::string m_path;
};

} // namespace mev::test
