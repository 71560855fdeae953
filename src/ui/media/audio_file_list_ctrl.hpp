#pragma once

#include "ui/media/file_list_ctrl.hpp"

namespace mev {

// The audio page's file list: MP3 files show and sort by their ID3v1 title when they
// have one, read once each time the folder is listed.
class CAudioFileListCtrl : public CFileListCtrl {
public:
    CAudioFileListCtrl();
};

} // namespace mev
