#pragma once

#include <memory>

#include "core/thumbs/thumbnail_engine.hpp"
#include "core/work/work_pool.hpp"

namespace mev {

// Every job the program runs off the main thread, in lanes that do not hold each other
// up: a long copy or a slow folder never delays a page, and a page of hundreds of
// thumbnails never delays the next page. The application owns one and stops it before
// main returns; Stop calls off what runs, drops what waits and joins every thread.
class CBackgroundWork {
public:
    enum class Lane {
        Pages,    // mev: pages (index, picture, player pages), generated in pieces
        Pictures, // thumbnails and renditions; what is on screen before what is near
        Notices,  // the pages' data notifications, so a generator never waits for the browser
        Files,    // folder listings and file operations: may block for long on a slow disc
    };
    // Priorities within the Pictures lane.
    static constexpr int ON_SCREEN = 0;
    static constexpr int NEAR_SCREEN = 1;

    CBackgroundWork();
    ~CBackgroundWork();
    CBackgroundWork(const CBackgroundWork&) = delete;
    CBackgroundWork& operator=(const CBackgroundWork&) = delete;

    CWorkPool& GetPool(Lane lane);
    CThumbnailEngine& GetThumbnails() { return m_thumbnails; }
    // Pages first (they feed the notices), the notices last. Waits for running jobs.
    void Stop();

    // The one the application installed; without one (tests, tools) one made on first
    // use, stopped by StopShared or at the latest when static objects go.
    static CBackgroundWork& Get();
    // work must outlive its installation; nullptr removes it. Only while no work runs.
    static void Install(CBackgroundWork* work);
    // Stops the one made on first use, if any (for the end of a test run).
    static void StopShared();

private:
    // Declared first: the pools are joined before the engine their jobs use goes.
    CThumbnailEngine m_thumbnails;
    CWorkPool m_pages;
    CWorkPool m_pictures;
    CWorkPool m_notices;
    CWorkPool m_files;
};

} // namespace mev
