#pragma once

#include "ui/pages/player_page.hpp"

namespace mev {

// The Videos tab: a player page with the videos' constants.
class CVideoPage : public CPlayerPage {
public:
    explicit CVideoPage(CMediaPageHost& host);
};

} // namespace mev
