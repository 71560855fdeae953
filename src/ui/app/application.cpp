#include "ui/app/application.hpp"

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/app/start_paths.hpp"
#include "core/media/media_kinds.hpp"
#include "core/pages/file_request.hpp"
#include "core/shell/command_line.hpp"
#include "core/shell/program_path.hpp"
#include "ui/app/mev_app.hpp"

namespace mev {
namespace {

constexpr const char* USAGE =
    "Usage: mev [Images=FOLDER] [Audios=FOLDER] [Videos=FOLDER] [show=Images|Audios|Videos]\n"
    "       mev [options] FOLDER|FILE\n"
    "\n"
    "MEV browses pictures, music and clips of one folder tree at a time.\n"
    "\n"
    "  Images=FOLDER   root folder of the Images tab\n"
    "  Audios=FOLDER   root folder of the Audios tab\n"
    "  Videos=FOLDER   root folder of the Videos tab\n"
    "                  (a folder without a leading '/' is taken from the current folder when\n"
    "                  MEV is installed, from the program's folder when it runs beside its media;\n"
    "                  quotes around it are allowed: Images=\"/media/my pictures\")\n"
    "  show=TAB        start on that tab (Images, Audios or Videos, any letter case)\n"
    "  --help          print this help and exit\n"
    "  --version       print the version and exit\n"
    "  FOLDER          open the folder in the tab of the kind it holds most of\n"
    "  FILE            open the file's folder in the file's tab and show or play it\n"
    "\n"
    "Without options each tab opens the folder it showed last.\n";

} // namespace

int RunApplication(int argc, char** argv)
{
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        args.emplace_back(argv[i] != nullptr ? argv[i] : "");
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(USAGE, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("mev %s\n", MEV_VERSION);
            return 0;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "mev: unknown option '%s'\n\n%s", args[i].c_str(), USAGE);
            return 2;
        }
    }
    // Its signal handlers are in place before anything that may take time.
    CMEVApp app;
    // Read now, before a package upgrade can replace the file under the running program.
    GetProgramPath();
    // ".swf" is a video only while the Flash emulator's files are there to play it; a
    // movie given as the start argument is sorted into its tab with that known.
    const std::string flashFolder = FindFlashPlayerFolder(GetProgramFolder());
    SetFlashPlayerFolder(flashFolder);
    CMediaKinds::Instance().SetFlashPlayable(!flashFolder.empty());
    std::error_code ec;
    std::string startFile;
    args = ExpandBarePaths(std::move(args), std::filesystem::current_path(ec).string(), &startFile);
    SetStartFile(std::move(startFile));
    SetCommandLine(args);
    return app.Run(args.empty() ? "mev" : args[0].c_str());
}

} // namespace mev
