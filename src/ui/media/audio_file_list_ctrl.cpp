#include "ui/media/audio_file_list_ctrl.hpp"

namespace mev {

CAudioFileListCtrl::CAudioFileListCtrl() : CFileListCtrl(true) {}

} // namespace mev
