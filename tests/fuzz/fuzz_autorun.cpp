// The autorun files for fuzzed program and folder names. Properties: autorun.sh hands the
// program exactly its name and one argument per option, whatever the names hold, and
// AUTORUN.INF keeps its three lines with every value whole inside its quotes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "core/app/autorun_file.hpp"
#include "fuzz_support.hpp"

using namespace mev;

namespace {

// The words of a POSIX shell command line made of single-quoted strings, backslash
// escapes and plain characters, up to the first unquoted newline; rest is what follows.
std::vector<std::string> ShellWords(std::string_view text, std::string_view& rest)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n')
            break;
        if (c == ' ') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\'') {
            const auto close = text.find('\'', i + 1);
            FUZZ_CHECK(close != std::string_view::npos);
            word.append(text.substr(i + 1, close - i - 1));
            i = close;
        } else if (c == '\\') {
            FUZZ_CHECK(i + 1 < text.size());
            word.push_back(text[++i]);
        } else {
            // Nothing the shell would expand or split on may stand unquoted.
            FUZZ_CHECK(std::string_view("$`\"*?[]{}~#&;|<>()\t\r").find(c) == std::string_view::npos);
            word.push_back(c);
        }
    }
    FUZZ_CHECK(i < text.size());
    if (inWord)
        words.push_back(word);
    rest = text.substr(i + 1);
    return words;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string folder = "/" + fuzz::MakeFileName(input.ConsumeRandomLengthString(30));
    const std::string programName = fuzz::MakeFileName(input.ConsumeRandomLengthString(30));
    std::vector<AutorunTab> tabs;
    for (const char* name : {"images", "audios", "videos"}) {
        AutorunTab tab;
        tab.name = name;
        tab.opened = input.ConsumeBool();
        // Folders come from the program normalised: no empty, "." or ".." components.
        std::string sub;
        std::string rest = input.ConsumeRandomLengthString(40);
        for (std::size_t at = 0; at <= rest.size();) {
            const auto slash = std::min(rest.find('/', at), rest.size());
            const std::string part = rest.substr(at, slash - at);
            if (!part.empty())
                sub += (sub.empty() ? "" : "/") + fuzz::MakeFileName(part);
            at = slash + 1;
        }
        tab.folder = input.ConsumeBool() ? folder + (sub.empty() ? "" : "/" + sub) : sub;
        tabs.push_back(tab);
    }
    const int selected = input.ConsumeIntegralInRange(-1, 3);
    const CAutorunFile autorun(folder + "/" + programName, tabs, selected);

    const std::string script = autorun.GetScriptText();
    const std::string_view exec = "exec \"$here\"/";
    const auto start = script.find(exec);
    FUZZ_CHECK(start != std::string::npos);
    std::string_view rest;
    const auto words = ShellWords(std::string_view(script).substr(start + exec.size()), rest);
    FUZZ_CHECK(rest.empty());
    FUZZ_CHECK(!words.empty() && words[0] == programName);
    std::size_t options = 0;
    for (const AutorunTab& tab : tabs) {
        if (!tab.opened || tab.folder.empty() || !(tab.folder == folder || tab.folder.rfind(folder + "/", 0) == 0))
            continue;
        ++options;
        FUZZ_CHECK(options < words.size());
        const std::string& word = words[options];
        FUZZ_CHECK(word.rfind(tab.name + "=", 0) == 0);
        const std::string value = word.substr(tab.name.size() + 1);
        FUZZ_CHECK(!value.empty() && value[0] != '/');
        FUZZ_CHECK(tab.folder == (value == "." ? folder : folder + "/" + value));
    }
    if (selected >= 0 && selected < 3)
        FUZZ_CHECK(words.size() == options + 2 && words.back() == std::string("show=") + tabs[selected].name);
    else
        FUZZ_CHECK(words.size() == options + 1);

    // Three CR LF lines; the OPEN line's values each lie whole inside one pair of quotes.
    // The program's own name is written as it stands (a name with a line break or a quote
    // is not one a medium's program is given).
    if (programName.find_first_of("\r\n\"") != std::string::npos)
        return 0;
    const std::string inf = autorun.GetInfText();
    std::size_t lines = 0;
    for (std::size_t i = 0; i < inf.size(); ++i) {
        if (inf[i] == '\n')
            FUZZ_CHECK(i > 0 && inf[i - 1] == '\r');
        if (inf[i] == '\r') {
            FUZZ_CHECK(i + 1 < inf.size() && inf[i + 1] == '\n');
            ++lines;
        }
    }
    FUZZ_CHECK(lines == 3);
    const std::string open = inf.substr(0, inf.find("\r\nICON="));
    FUZZ_CHECK(std::count(open.begin(), open.end(), '"') % 2 == 0);
    return 0;
}
