#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtkmm/box.h>

#include "core/files/file_operation.hpp"
#include "core/pages/image_pane_state.hpp"
#include "core/pages/picture_order.hpp"
#include "ui/pages/media_page.hpp"

namespace mev {

class CPageBrowser;

// The Images tab: the thumbnail index of the selected folder in the list area and the
// clicked picture in the browser pane. Three index browsers keep the last three index
// pages; the ones not on screen are hidden, never destroyed, so their page, scroll
// position, checks and script state are there when their folder is chosen again. A
// slot's browser is made when the slot is first used.
class CImagePage : public CMediaPage {
public:
    static constexpr int SLOT_COUNT = 3;

    explicit CImagePage(CMediaPageHost& host);
    ~CImagePage() override;

    // Page messages 1 and 2 ask the index page on screen, not the picture.
    void OnPageMessage(int code, const std::string& url, std::function<void(int)> done) override;
    bool OnUpdateCommand(CCmdUI& ui) override;
    bool OnCommand(int id) override;

    Gtk::Widget* CreateListPane() override;
    void OnFolderSelected(const std::string& folder) override;
    int GetTotalCount() const override;
    int GetCheckedCount() const override;
    void StopPlayback() override;
    void RefreshList(const std::string& folder) override;
    void OpenStartFile(const std::string& path) override;
    // The paths of the pictures the index page's data holds as checked, in page order,
    // existing regular files only. done runs later on the main loop (with nothing when
    // the page cannot be asked).
    void CollectCheckedImages(std::function<void(std::vector<std::string> paths)> done);

    // Navigates the full-screen browser when it is shown, else the image browser, to
    // CurrentImagePath (the blank page when there is none).
    void ShowCurrentImage();

    // nullptr for a slot not used yet.
    CPageBrowser* GetIndexBrowser(int slot) const;
    int GetCurrentSlot() const { return m_currentSlot; }

    // "mev://images/?<folder>".
    static std::string IndexPageUrl(const std::string& folder);

    // The picture the picture browser shows, or "" when it shows none.
    std::string GetShownPicture();

    // Delete: the checked pictures when there are any, else the picture on screen, each
    // through the delete command's confirmation. The picture after the deleted one (or
    // before it, at the end) comes on screen; without one the view goes back to the index.
    void DeletePicture();

private:
    class CWidthSource;

    void CollectCheckedFiles(std::function<void(std::vector<std::string> paths)> done) override;
    // The index page is built again once a picture was moved or deleted.
    void OnFilesChanged(const CFileOperation& op) override;

    CPageBrowser& CurrentIndex() const { return *m_index[static_cast<std::size_t>(m_currentSlot)]; }
    // The browser Toggle Size and new pictures go to.
    CPageBrowser& PictureBrowser();
    // The slot's browser, made (hidden unless it is the current slot) if it has none.
    CPageBrowser& MakeIndexBrowser(int slot);
    void SwapTo(int slot);
    void ReportIndexStatus();
    void MeasureListArea();
    void SetImageWidth(int width);
    // The index's order, remembered in the settings; the page on screen is made anew.
    void SetPictureOrder(PictureOrder order);
    // The status line's text for the picture on screen, from what its page reports.
    std::string DescribeShownPicture();
    void ShowAfterDeleting(const std::vector<std::string>& candidates);
    // While the tab is on screen, a decode helper stands ready for the next folder.
    void KeepDecoderReady(bool on);

    std::array<std::unique_ptr<CPageBrowser>, SLOT_COUNT> m_index;
    int m_currentSlot = 0;
    int m_lastUsedSlot = -1;
    std::unique_ptr<Gtk::Box> m_area;
    std::shared_ptr<CWidthSource> m_widthSource;
    // The picture to show once the index page has come up (its own first click).
    std::string m_startFile;
    // The picture asked for last; an older request's fallback does not navigate.
    std::shared_ptr<bool> m_pictureRequest;
    // The file size of the picture the status line describes, read once per picture.
    std::string m_sizedPicture;
    std::uintmax_t m_pictureSize = 0;
    sigc::connection m_readyTimer;
};

} // namespace mev
