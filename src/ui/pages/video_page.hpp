#pragma once

#include "ui/pages/player_page.hpp"

namespace mev {

// The Videos tab.
class CVideoPage : public CPlayerPage {
public:
    explicit CVideoPage(CMediaPageHost& host);

protected:
    CFileListCtrl* CreateFileList() override;
    const char* GetOpenWithListName() const override { return "video"; }
    int GetListMenuId() const override;
    int GetPlaybackDoneId() const override;
    const char* GetPageHost() const override { return "video"; }
};

} // namespace mev
