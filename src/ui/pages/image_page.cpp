#include "ui/pages/image_page.hpp"

#include <atomic>
#include <filesystem>
#include <sstream>
#include <system_error>
#include <utility>

#include <glibmm/main.h>
#include <gtkmm/window.h>

#include "core/commands/command_ids.hpp"
#include "core/pages/page_url.hpp"
#include "core/pages/picture_generators.hpp"
#include "core/pages/picture_order.hpp"
#include "core/shell/settings.hpp"
#include "core/pages/picture_info.hpp"
#include "core/shell/url.hpp"
#include "core/thumbs/picture_decoder.hpp"
#include "ui/web/page_browser.hpp"
#include "ui/dialogs/file_operation_dlg.hpp"
#include "ui/widgets/open_with_menu.hpp"

namespace mev {

namespace {

// What the "fit" width leaves for the index page's vertical scroll bar.
constexpr int SCROLL_BAR_ALLOWANCE = 16;

int AutoplaySeconds(int id)
{
    switch (id) {
    case ID_AUTOPLAY_1S: return 1;
    case ID_AUTOPLAY_2S: return 2;
    case ID_AUTOPLAY_3S: return 3;
    case ID_AUTOPLAY_5S: return 5;
    case ID_AUTOPLAY_10S: return 10;
    case ID_AUTOPLAY_15S: return 15;
    default: return 0;
    }
}

int WidthOfCommand(int id)
{
    switch (id) {
    case ID_WIDTH_32: return 32;
    case ID_WIDTH_64: return 64;
    case ID_WIDTH_80: return 80;
    case ID_WIDTH_120: return 120;
    case ID_WIDTH_240: return 240;
    case ID_WIDTH_FIT: return 0;
    default: return -1;  // ID_WIDTH_ACTUAL
    }
}

constexpr const char* SORT_SETTING = "index_sort";
constexpr const char* NAMES_SETTING = "index_names";

PictureSortKey SortKeyOfCommand(int id)
{
    switch (id) {
    case ID_SORT_DATE: return PictureSortKey::Date;
    case ID_SORT_SIZE: return PictureSortKey::Size;
    case ID_SORT_TYPE: return PictureSortKey::Type;
    default: return PictureSortKey::Name;
    }
}

// The scripts of the picture page that the picture commands run.
const char* PictureScript(int id)
{
    switch (id) {
    case ID_PICTURE_ZOOM_IN: return "if (typeof ZoomIn === 'function') ZoomIn();";
    case ID_PICTURE_ZOOM_OUT: return "if (typeof ZoomOut === 'function') ZoomOut();";
    case ID_PICTURE_ACTUAL_SIZE: return "if (typeof ActualSize === 'function') ActualSize();";
    case ID_PICTURE_FIT: return "if (typeof FitPicture === 'function') FitPicture();";
    case ID_PICTURE_ROTATE_LEFT: return "if (typeof Rotate === 'function') Rotate(-90);";
    case ID_PICTURE_ROTATE_RIGHT: return "if (typeof Rotate === 'function') Rotate(90);";
    case ID_PICTURE_INFO: return "if (typeof ToggleInfo === 'function') ToggleInfo();";
    default: return nullptr;
    }
}

constexpr std::string_view PICTURE_PAGE_PREFIX = "mev://image/?";

// The pictures after the given one in the index, then those before it, nearest first:
// where the view goes once it is deleted.
std::string NeighboursScript(const std::string& fileUrl)
{
    return "(function (url) {"
           " if (typeof PictureCount !== 'function' || typeof PictureUrl !== 'function') return [];"
           " var n = PictureCount(), out = [];"
           " for (var i = 0; i < n; i++) {"
           "  if (PictureUrl(i) != url) continue;"
           "  for (var k = i + 1; k < n && k <= i + 16; k++) out.push(PictureUrl(k));"
           "  for (var k = i - 1; k >= 0 && k >= i - 16; k--) out.push(PictureUrl(k));"
           "  break;"
           " }"
           " return out; })(\"" + fileUrl + "\")";
}

// The picture URLs of the checked thumbnails, in page order.
constexpr const char* CHECKED_SOURCES_SCRIPT = "(typeof CheckedPictures === 'function') ? CheckedPictures() : []";

} // namespace

// The index page's "fit" width: the list area's width, written on the UI thread before
// every index page request and read by page workers without a lock.
class CImagePage::CWidthSource : public IIndexWidthSource {
public:
    int GetIndexClientWidth() const override { return m_width.load(std::memory_order_relaxed); }
    int GetThumbMetric() const override { return SCROLL_BAR_ALLOWANCE; }
    void SetWidth(int width) { m_width.store(width, std::memory_order_relaxed); }

private:
    std::atomic<int> m_width{0};
};

CImagePage::CImagePage(CMediaPageHost& host)
    : CMediaPage(MediaKind::Image, host), m_widthSource(std::make_shared<CWidthSource>())
{
    GetBrowser().SetContextMenuId(IDR_IMAGE_MENU);
    IndexSortOrder.store(EncodePictureOrder(DecodePictureOrder(GetSettingInt(SORT_SETTING, 0))));
    IndexShowNames.store(GetSettingInt(NAMES_SETTING, 0) != 0);
    signal_map().connect([this] { KeepDecoderReady(true); });
    signal_unmap().connect([this] { KeepDecoderReady(false); });
}

CImagePage::~CImagePage()
{
    m_readyTimer.disconnect();
    if (GetIndexWidthSource() == m_widthSource)
        SetIndexWidthSource(nullptr);
}

void CImagePage::KeepDecoderReady(bool on)
{
    m_readyTimer.disconnect();
    const auto decoder = GetPictureDecoder();
    if (!decoder)
        return;
    if (!on) {
        decoder->KeepReady(false);
        return;
    }
    // A helper's start is a process or two: not amid the program's own start, which
    // shows this tab first.
    constexpr unsigned READY_AFTER_SECONDS = 2;
    m_readyTimer = Glib::signal_timeout().connect_seconds(
        [decoder] {
            decoder->KeepReady(true);
            return false;
        },
        READY_AFTER_SECONDS);
}

std::string CImagePage::IndexPageUrl(const std::string& folder)
{
    return "mev://images/?" + folder;
}

CPageBrowser* CImagePage::GetIndexBrowser(int slot) const
{
    if (slot < 0 || slot >= SLOT_COUNT)
        return nullptr;
    return m_index[static_cast<std::size_t>(slot)].get();
}

Gtk::Widget* CImagePage::CreateListPane()
{
    m_area = std::make_unique<Gtk::Box>(Gtk::Orientation::VERTICAL);
    m_area->set_name("index-area");
    m_area->set_hexpand(true);
    m_area->set_vexpand(true);
    // The other slots get their browsers when a second and a third folder are chosen:
    // many sessions never get there, and each view costs memory in both processes.
    MakeIndexBrowser(m_currentSlot).Navigate(GetBlankPageUrl());
    SetIndexWidthSource(m_widthSource);
    return m_area.get();
}

CPageBrowser& CImagePage::MakeIndexBrowser(int slot)
{
    auto& owned = m_index[static_cast<std::size_t>(slot)];
    if (owned)
        return *owned;
    auto browser = std::make_unique<CPageBrowser>();
    browser->SetContextMenuId(IDR_INDEX_MENU);
    browser->signal_status_text().connect([this](const std::string& text) { GetHost().SetStatusMessage(text); });
    browser->GetWidget().set_visible(slot == m_currentSlot);
    browser->SetOffScreen(slot != m_currentSlot);
    m_area->append(browser->GetWidget());
    owned = std::move(browser);
    return *owned;
}

void CImagePage::SwapTo(int slot)
{
    if (slot == m_currentSlot)
        return;
    const bool fresh = !m_index[static_cast<std::size_t>(slot)];
    CPageBrowser& shown = MakeIndexBrowser(slot);
    CPageBrowser& parked = CurrentIndex();
    // A page left while it still streams is cancelled: the slot gives it up, and the
    // folder is loaded anew when it is chosen again.
    if (parked.IsLoading())
        parked.Navigate(GetBlankPageUrl());
    shown.SetOffScreen(false);
    shown.GetWidget().set_visible(true);
    parked.GetWidget().set_visible(false);
    parked.SetOffScreen(true);
    m_currentSlot = slot;
    // A browser made just now has no page to ask; its folder's page reports when it comes.
    if (!fresh)
        ReportIndexStatus();
}

void CImagePage::ReportIndexStatus()
{
    // The counts then describe the page on screen (until a new one reports).
    CurrentIndex().ExecScript("if (typeof ReportIndexStatus === 'function') ReportIndexStatus();");
}

void CImagePage::OnFolderSelected(const std::string& folder)
{
    IndexTotal = 0;
    IndexChecked = 0;
    // A path shown by hovering a thumbnail belongs to the folder being left.
    GetHost().SetStatusMessage({});
    if (!m_index[0])
        return;
    if (folder.empty()) {
        CurrentIndex().Navigate(GetBlankPageUrl());
        return;
    }
    const std::string url = IndexPageUrl(folder);
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        const auto& browser = m_index[static_cast<std::size_t>(slot)];
        if (browser && browser->GetLocationUrl() == url) {
            // The counts were just cleared: the page already on screen reports them again.
            if (slot == m_currentSlot)
                ReportIndexStatus();
            else
                SwapTo(slot);
            return;
        }
    }
    // The oldest load gives way.
    m_lastUsedSlot = m_lastUsedSlot + 1 > SLOT_COUNT - 1 ? 0 : m_lastUsedSlot + 1;
    SwapTo(m_lastUsedSlot);
    MeasureListArea();
    CurrentIndex().Navigate(url);
}

int CImagePage::GetTotalCount() const
{
    return IndexTotal;
}

int CImagePage::GetCheckedCount() const
{
    return IndexChecked;
}

void CImagePage::StopPlayback()
{
    // The picture stays; only the slide show stops.
    if (m_index[0])
        CurrentIndex().StopAutoPlay();
}

void CImagePage::RefreshList(const std::string&)
{
    if (!m_index[0])
        return;
    MeasureListArea();
    CurrentIndex().Refresh();
}

void CImagePage::CollectCheckedFiles(std::function<void(std::vector<std::string> paths)> done)
{
    CollectCheckedImages(std::move(done));
}

void CImagePage::OnFilesChanged(const CFileOperation&)
{
    RefreshList(GetTree().GetSelectedFolder());
}

void CImagePage::MeasureListArea()
{
    // The page worker may read it at once: the width must be the one on screen now.
    m_widthSource->SetWidth(m_area ? m_area->get_width() : 0);
}

CPageBrowser& CImagePage::PictureBrowser()
{
    CPageBrowser* full = GetHost().GetShownFullScreenBrowser();
    return full != nullptr ? *full : GetBrowser();
}

void CImagePage::ShowCurrentImage()
{
    CPageBrowser& browser = PictureBrowser();
    const std::string path = CurrentImagePath;
    if (path.empty()) {
        browser.Navigate(GetBlankPageUrl());
        return;
    }
    const std::string url = "mev://image/?" + path;
    const auto request = std::make_shared<bool>(true);
    m_pictureRequest = request;
    std::string host;
    std::string argument;
    if (browser.IsLoading() || !ParsePageUrl(browser.GetLocationUrl(), host, argument) || host != "image") {
        browser.Navigate(url);
        return;
    }
    // A picture page on screen takes the next picture itself and shows the one it has
    // until the next is decoded: a new page would show nothing while a large photo
    // decodes. Both URLs are ASCII without quotes or backslashes.
    const std::string script = "ShowPicture(\"" + MakePictureUrl(path) + "\", \"mev://image/?" + EncodeUrlPath(path) + "\");";
    std::weak_ptr<bool> current = request;
    browser.ExecScript(script, [&browser, current, url](bool ok) {
        // A page without the function, or one that refused the address: a new page.
        if (!ok && !current.expired())
            browser.Navigate(url);
    });
}

std::string CImagePage::GetShownPicture()
{
    const std::string url = PictureBrowser().GetLocationUrl();
    if (url.compare(0, PICTURE_PAGE_PREFIX.size(), PICTURE_PAGE_PREFIX) != 0)
        return {};
    return url.substr(PICTURE_PAGE_PREFIX.size());
}

std::string CImagePage::DescribeShownPicture()
{
    // The status line is the main window's: it describes the picture pane there.
    const std::string url = GetBrowser().GetLocationUrl();
    if (url.compare(0, PICTURE_PAGE_PREFIX.size(), PICTURE_PAGE_PREFIX) != 0)
        return {};
    // The page reports "picture <width> <height> <zoom percent>" once it has the picture.
    std::istringstream report(GetBrowser().GetTitle());
    std::string word;
    int width = 0;
    int height = 0;
    int zoom = 0;
    if (!(report >> word >> width >> height >> zoom) || word != "picture" || width <= 0 || height <= 0)
        return {};
    const std::string path = url.substr(PICTURE_PAGE_PREFIX.size());
    if (path != m_sizedPicture) {
        std::error_code ec;
        m_sizedPicture = path;
        m_pictureSize = std::filesystem::file_size(path, ec);
        if (ec)
            m_pictureSize = 0;
    }
    return MakePictureStatus(width, height, m_pictureSize, zoom);
}

void CImagePage::DeletePicture()
{
    // Full screen hides the index and its checks: there Delete means the picture shown.
    if (IndexChecked > 0 && GetHost().GetShownFullScreenBrowser() == nullptr) {
        DeleteChecked();
        return;
    }
    const std::string path = GetShownPicture();
    if (path.empty())
        return;
    auto remove = [this, path](std::vector<std::string> candidates) {
        CFileOperationDlg::RunCommand(GetWindow(), FileOpKind::Delete, {path},
                                      [this, candidates](const CFileOperation& op) {
                                          if (op.CountOf(FileOpResult::Done) > 0)
                                              ShowAfterDeleting(candidates);
                                      });
    };
    if (!m_index[0]) {
        remove({});
        return;
    }
    CurrentIndex().EvaluateStringList(NeighboursScript(MakeFileUrl(path)), [remove](bool, std::vector<std::string> sources) {
        std::vector<std::string> candidates;
        for (const std::string& source : sources) {
            std::string candidate;
            if (FileUrlToPath(DecodeUrl(source), candidate))
                candidates.push_back(std::move(candidate));
        }
        remove(std::move(candidates));
    });
}

void CImagePage::ShowAfterDeleting(const std::vector<std::string>& candidates)
{
    std::string next;
    for (const std::string& candidate : candidates) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec)) {
            next = candidate;
            break;
        }
    }
    if (next.empty()) {
        // Nothing left to show: back to the index.
        CurrentImagePath.clear();
        if (GetHost().GetShownFullScreenBrowser() != nullptr)
            GetHost().ToggleFullScreen();
        GetBrowser().Navigate(GetBlankPageUrl());
    } else {
        CurrentImagePath = next;
        ShowCurrentImage();
        // The rebuilt index page comes up on the same picture.
        m_startFile = next;
    }
    RefreshList(GetTree().GetSelectedFolder());
}

void CImagePage::SetImageWidth(int width)
{
    if (ImageWidth.load() == width)
        return;
    ImageWidth.store(width);
    // Only the page on screen follows; parked pages keep their width until refreshed.
    RefreshList({});
}

void CImagePage::SetPictureOrder(PictureOrder order)
{
    const int code = EncodePictureOrder(order);
    if (IndexSortOrder.load() == code)
        return;
    IndexSortOrder.store(code);
    SetSettingInt(SORT_SETTING, code);
    // Like a new width, only the page on screen follows at once.
    RefreshList({});
}

void CImagePage::CollectCheckedImages(std::function<void(std::vector<std::string> paths)> done)
{
    if (!m_index[0]) {
        Glib::signal_idle().connect_once([done] { if (done) done({}); });
        return;
    }
    CurrentIndex().EvaluateStringList(CHECKED_SOURCES_SCRIPT, [done](bool, std::vector<std::string> sources) {
        std::vector<std::string> paths;
        for (const std::string& source : sources) {
            std::string path;
            std::error_code ec;
            // Only pictures that are still files here; sources of other kinds are left out.
            if (FileUrlToPath(DecodeUrl(source), path) && std::filesystem::is_regular_file(path, ec))
                paths.push_back(std::move(path));
        }
        if (done)
            done(std::move(paths));
    });
}

void CImagePage::OnPageMessage(int code, const std::string& url, std::function<void(int)> done)
{
    if ((code == PAGEMSG_QUERY_AUTOPLAY || code == PAGEMSG_STOP_AUTOPLAY) && !m_index[0]) {
        if (done)
            done(0);
        return;
    }
    if (code == PAGEMSG_QUERY_AUTOPLAY) {
        CurrentIndex().InAutoPlayMode([done](bool on) { if (done) done(on ? 1 : 0); });
        return;
    }
    if (code == PAGEMSG_STOP_AUTOPLAY) {
        CurrentIndex().StopAutoPlay([done](bool had) { if (done) done(had ? 1 : 0); });
        return;
    }
    CMediaPage::OnPageMessage(code, url, std::move(done));
}

void CImagePage::OpenStartFile(const std::string& path)
{
    m_startFile = path;
}

bool CImagePage::OnUpdateCommand(CCmdUI& ui)
{
    const int id = ui.id;
    if (id == ID_PRIVATE_SHOW_IMAGE) {
        ui.Enable(true);
        return true;
    }
    if (AutoplaySeconds(id) != 0 || (id >= ID_IMAGE_PREVIOUS && id <= ID_IMAGE_LAST)) {
        ui.Enable(IndexTotal != 0);
        return true;
    }
    if (PictureScript(id) != nullptr) {
        ui.Enable(!GetShownPicture().empty());
        return true;
    }
    if (id == ID_PICTURE_DELETE) {
        ui.Enable((IndexChecked > 0 && GetHost().GetShownFullScreenBrowser() == nullptr) || !GetShownPicture().empty());
        return true;
    }
    if (id == ID_INDICATOR_PICTURE) {
        ui.Enable(true);
        if (const std::string text = DescribeShownPicture(); !text.empty())
            ui.SetText(text);
        return true;
    }
    if (id == ID_IMAGE_TOGGLESIZE) {
        const std::string url = PictureBrowser().GetLocationUrl();
        ui.Enable(!url.empty() && url != GetBlankPageUrl());
        return true;
    }
    if (id >= ID_WIDTH_32 && id <= ID_WIDTH_ACTUAL) {
        const int width = WidthOfCommand(id);
        ui.Enable(true);
        ui.SetCheck(width < 0 ? ImageWidth.load() < 0 : ImageWidth.load() == width);
        return true;
    }
    if (id == ID_OPENWITH_SELECT || (id >= ID_OPENWITH_FIRST && id <= ID_OPENWITH_LAST)) {
        ui.Enable(!ContextImagePath.empty());
        return true;
    }
    if (id >= ID_SORT_NAME && id <= ID_SORT_DESCENDING) {
        const PictureOrder order = DecodePictureOrder(IndexSortOrder.load());
        ui.Enable(true);
        if (id == ID_SORT_ASCENDING || id == ID_SORT_DESCENDING)
            ui.SetCheck(order.descending == (id == ID_SORT_DESCENDING));
        else
            ui.SetCheck(order.key == SortKeyOfCommand(id));
        return true;
    }
    if (id == ID_INDEX_SHOW_NAMES) {
        ui.Enable(true);
        ui.SetCheck(IndexShowNames.load());
        return true;
    }
    if (id == ID_LIST_CHECK_ALL || id == ID_LIST_REVERSE_CHECK) {
        ui.Enable(IndexTotal != 0);
        return true;
    }
    return CMediaPage::OnUpdateCommand(ui);
}

bool CImagePage::OnCommand(int id)
{
    if (id == ID_PRIVATE_SHOW_IMAGE) {
        if (m_startFile.empty() || !m_index[0]) {
            ShowCurrentImage();
            return true;
        }
        // The page's own start clicked its first picture; click the one asked for, and
        // show the first only when the page does not have it.
        // A file URL is all ASCII with every quote and backslash escaped.
        const std::string url = MakeFileUrl(m_startFile);
        m_startFile.clear();
        CurrentIndex().EvaluateScript("(typeof ShowPicture === 'function') && ShowPicture(\"" + url + "\") === true",
                                      [this](bool ok, const std::string& json) {
                                          if (!ok || json != "true")
                                              ShowCurrentImage();
                                      });
        return true;
    }
    if (const char* script = PictureScript(id)) {
        PictureBrowser().ExecScript(script);
        return true;
    }
    if (id == ID_PICTURE_DELETE) {
        DeletePicture();
        return true;
    }
    if (id == ID_INDICATOR_PICTURE)
        return true;
    if (const int seconds = AutoplaySeconds(id); seconds != 0) {
        if (m_index[0])
            CurrentIndex().ExecScript("if (typeof AutoPlay === 'function') AutoPlay(" + std::to_string(seconds) + ");");
        return true;
    }
    switch (id) {
    case ID_IMAGE_PREVIOUS:
    case ID_IMAGE_NEXT:
    case ID_IMAGE_FIRST:
    case ID_IMAGE_LAST: {
        static const char* const FUNCTIONS[] = {"DisplayPrev", "DisplayNext", "DisplayFirst", "DisplayLast"};
        if (m_index[0])
            CurrentIndex().CallScriptFunction(FUNCTIONS[id - ID_IMAGE_PREVIOUS]);
        return true;
    }
    case ID_IMAGE_TOGGLESIZE:
        PictureBrowser().CallScriptFunction("ToggleSize");
        return true;
    case ID_LIST_CHECK_ALL:
    case ID_LIST_REVERSE_CHECK:
        if (m_index[0])
            CurrentIndex().CallScriptFunction(id == ID_LIST_CHECK_ALL ? "CheckAll" : "ReverseCheck");
        return true;
    case ID_INDEX_SHOW_NAMES:
        IndexShowNames.store(!IndexShowNames.load());
        SetSettingInt(NAMES_SETTING, IndexShowNames.load() ? 1 : 0);
        RefreshList({});
        return true;
    case ID_OPENWITH_SELECT:
        SelectOpenWithProgram(dynamic_cast<Gtk::Window*>(get_root()), "image", ContextImagePath);
        return true;
    default:
        break;
    }
    if (id >= ID_SORT_NAME && id <= ID_SORT_DESCENDING) {
        PictureOrder order = DecodePictureOrder(IndexSortOrder.load());
        if (id == ID_SORT_ASCENDING || id == ID_SORT_DESCENDING)
            order.descending = id == ID_SORT_DESCENDING;
        else
            order.key = SortKeyOfCommand(id);
        SetPictureOrder(order);
        return true;
    }
    if (id >= ID_WIDTH_32 && id <= ID_WIDTH_ACTUAL) {
        const int width = WidthOfCommand(id);
        // Actual Width stays as it is once the width is negative.
        if (!(width < 0 && ImageWidth.load() < 0))
            SetImageWidth(width);
        return true;
    }
    if (id >= ID_OPENWITH_FIRST && id <= ID_OPENWITH_LAST) {
        // A program that cannot be started is not reported.
        RunOpenWithEntry("image", id, ContextImagePath);
        return true;
    }
    return CMediaPage::OnCommand(id);
}

} // namespace mev
