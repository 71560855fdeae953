#include "ui/players/audio_page.hpp"

#include "core/commands/command_ids.hpp"
#include "ui/media/audio_file_list_ctrl.hpp"

namespace mev {

CAudioPage::CAudioPage(CMediaPageHost& host) : CPlayerPage(MediaKind::Audio, host) {}

CFileListCtrl* CAudioPage::CreateFileList()
{
    return Gtk::make_managed<CAudioFileListCtrl>();
}

int CAudioPage::GetListMenuId() const
{
    return IDR_AUDIO_LIST_MENU;
}

int CAudioPage::GetPlaybackDoneId() const
{
    return ID_PRIVATE_AUDIO_DONE;
}

bool CAudioPage::OnUpdateCommand(CCmdUI& ui)
{
    if (ui.id == ID_TOOLS_TAGEDITOR) {
        ui.Enable(!GetTree().GetSelectedFolder().empty());
        return true;
    }
    return CPlayerPage::OnUpdateCommand(ui);
}

bool CAudioPage::OnCommand(int id)
{
    // The tag editor itself is not part of the program yet: the command is taken and
    // does nothing.
    if (id == ID_TOOLS_TAGEDITOR)
        return true;
    return CPlayerPage::OnCommand(id);
}

} // namespace mev
