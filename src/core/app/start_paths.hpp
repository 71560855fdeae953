#pragma once

#include <string>
#include <vector>

#include "core/media/media_kinds.hpp"

namespace mev {

// The kind a folder holds most files of, counting its own files and those of its
// sub-folders one level down (a music folder often holds only album folders). Images
// when there is a tie or no media at all.
MediaKind ChooseKindForFolder(const std::string& folder);

// A file manager starts the program with bare paths ("mev FOLDER", "mev FILE"). Returns
// args with the first such path turned into the option forms the rest of the program
// reads: the root option of the tab for its kind ("Audios=/music/album") and "show=" that
// tab; a media file opens its folder in its own tab and becomes *startFile. Options
// written out win: a tab option or show= already given is kept and not added again.
// Relative paths are taken from currentFolder. Further existing paths are dropped, so that
// no path is mistaken for an option that it happens to begin with.
std::vector<std::string> ExpandBarePaths(std::vector<std::string> args, const std::string& currentFolder,
                                         std::string* startFile);

// The media file named on the command line, to be shown or played once its tab is up;
// "" when there is none.
void SetStartFile(std::string path);
std::string GetStartFile();

} // namespace mev
