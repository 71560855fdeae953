#include "ui/pages/audio_page.hpp"

#include "core/commands/command_ids.hpp"
#include "ui/widgets/audio_file_list_ctrl.hpp"
#include "ui/dialogs/tag_editor_dlg.hpp"

namespace mev {

namespace {

constexpr SPlayerTraits AUDIO_TRAITS{MediaKind::Audio, "audio", "audio", IDR_AUDIO_LIST_MENU, IDR_AUDIO_MENU,
                                     ID_PRIVATE_AUDIO_DONE};

} // namespace

CAudioPage::CAudioPage(CMediaPageHost& host) : CPlayerPage(AUDIO_TRAITS, host) {}

CFileListCtrl* CAudioPage::CreateFileList()
{
    return Gtk::make_managed<CAudioFileListCtrl>();
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
    // A click on a playlist lists its files instead of playing it.
    if (id == ID_PRIVATE_LIST_SELECTED || id == ID_PRIVATE_LIST_DBLCLK) {
        auto* list = dynamic_cast<CAudioFileListCtrl*>(GetFileList());
        if (list != nullptr && list->OpenSelectedPlaylist())
            return true;
    }
    if (id == ID_TOOLS_TAGEDITOR) {
        // The editor plays and releases files through the page message, which reaches
        // this page while it is the one on screen.
        CTagEditorDlg::Open(
            GetWindow(), GetTree().GetSelectedFolder(),
            [this](const std::string& url) { GetHost().SendPageMessage(PAGEMSG_NAVIGATE, url, {}); },
            [this](const std::vector<STagFileChange>& changes) {
                // The list shows what the editor made of its files without a Refresh.
                std::vector<std::pair<std::string, std::string>> moves;
                for (const STagFileChange& change : changes)
                    moves.emplace_back(change.oldPath, change.newPath);
                if (CFileListCtrl* list = GetFileList())
                    list->UpdateFiles(moves);
            });
        return true;
    }
    return CPlayerPage::OnCommand(id);
}

} // namespace mev
