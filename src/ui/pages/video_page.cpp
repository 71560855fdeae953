#include "ui/pages/video_page.hpp"

#include "core/commands/command_ids.hpp"

namespace mev {

CVideoPage::CVideoPage(CMediaPageHost& host) : CPlayerPage(MediaKind::Video, host) {}

CFileListCtrl* CVideoPage::CreateFileList()
{
    return Gtk::make_managed<CFileListCtrl>();
}

int CVideoPage::GetListMenuId() const
{
    return IDR_VIDEO_LIST_MENU;
}

int CVideoPage::GetPlaybackDoneId() const
{
    return ID_PRIVATE_VIDEO_DONE;
}

} // namespace mev
