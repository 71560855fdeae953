#pragma once

#include "ui/pages/player_page.hpp"

namespace mev {

// The Audios tab; it also owns the rule of the MP3 Tag Editor command.
class CAudioPage : public CPlayerPage {
public:
    explicit CAudioPage(CMediaPageHost& host);

    bool OnUpdateCommand(CCmdUI& ui) override;
    bool OnCommand(int id) override;

protected:
    CFileListCtrl* CreateFileList() override;
};

} // namespace mev
