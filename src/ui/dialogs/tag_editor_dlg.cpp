#include "ui/dialogs/tag_editor_dlg.hpp"

#include "core/shell/url.hpp"
#include "core/tags/title_reader.hpp"
#include "ui/widgets/message_box.hpp"

namespace mev {

CTagEditorDlg* CTagEditorDlg::Open(Gtk::Window* parent, const std::string& folder,
                                   std::function<void(const std::string& url)> navigate, FilesChanged filesChanged)
{
    if (folder.empty())
        return nullptr;
    auto* dialog = new CTagEditorDlg(parent, folder, std::move(navigate));
    dialog->m_filesChanged = std::move(filesChanged);
    // Focus in the list would select its first row: the person chooses the first row.
    dialog->set_focus(dialog->m_file);
    dialog->show();
    return dialog;
}

CTagEditorDlg::CTagEditorDlg(Gtk::Window* parent, const std::string& folder,
                             std::function<void(const std::string&)> navigate)
    : m_editor(folder)
{
    m_editor.navigate = std::move(navigate);
    set_title("MP3 Tag Editor");
    if (parent != nullptr)
        set_transient_for(*parent);
    set_modal(true);
    set_default_size(660, 460);

    m_store = Gtk::ListStore::create(m_columns);
    m_list.set_model(m_store);
    const struct { const char* title; Gtk::TreeModelColumn<Glib::ustring>* column; } columns[] = {
        {"File Name", &m_columns.name}, {"Title", &m_columns.title},     {"Artist", &m_columns.artist},
        {"Album", &m_columns.album},    {"Comment", &m_columns.comment},
    };
    for (const auto& c : columns) {
        const int index = m_list.append_column(c.title, *c.column) - 1;
        Gtk::TreeViewColumn* column = m_list.get_column(index);
        column->set_sizing(Gtk::TreeViewColumn::Sizing::FIXED);
        column->set_fixed_width(120);
        column->set_resizable(true);
    }
    m_list.set_grid_lines(Gtk::TreeView::GridLines::BOTH);
    m_list.get_selection()->set_mode(Gtk::SelectionMode::SINGLE);
    m_scroll.set_child(m_list);
    m_scroll.set_vexpand(true);
    m_scroll.set_has_frame(true);

    const struct { const char* label; Gtk::Entry* entry; Gtk::CheckButton* lock; } fields[] = {
        {"File:", &m_file, nullptr},
        {"Title:", &m_title, nullptr},
        {"Artist:", &m_artist, &m_lockArtist},
        {"Album:", &m_album, &m_lockAlbum},
        {"Comment:", &m_comment, &m_lockComment},
    };
    m_tagsGrid.set_row_spacing(4);
    m_tagsGrid.set_column_spacing(8);
    m_tagsGrid.set_margin(8);
    int row = 0;
    for (const auto& f : fields) {
        auto* label = Gtk::make_managed<Gtk::Label>(f.label);
        label->set_xalign(0);
        m_tagsGrid.attach(*label, 0, row);
        f.entry->set_hexpand(true);
        m_tagsGrid.attach(*f.entry, 1, row);
        if (f.lock != nullptr)
            m_tagsGrid.attach(*f.lock, 2, row);
        ++row;
    }
    m_id3v2Note.set_wrap(true);
    m_id3v2Note.set_xalign(0);
    m_id3v2Note.set_max_width_chars(50);
    m_id3v2Note.set_visible(false);
    m_tagsGrid.attach(m_id3v2Note, 0, row, 3);
    LimitEntry(m_title, CTagEditor::TEXT_LIMIT);
    LimitEntry(m_artist, CTagEditor::TEXT_LIMIT);
    LimitEntry(m_album, CTagEditor::TEXT_LIMIT);
    LimitEntry(m_comment, CTagEditor::COMMENT_LIMIT);
    m_tagsFrame.set_child(m_tagsGrid);
    m_tagsFrame.set_hexpand(true);

    m_actionBox.set_margin(8);
    m_actionBox.append(m_update);
    m_actionBox.append(m_autoUpdate);
    m_actionBox.append(m_clickToPlay);
    m_actionFrame.set_child(m_actionBox);
    m_actionFrame.set_valign(Gtk::Align::START);
    m_buttons.append(m_makeHtml);
    m_buttons.append(m_close);
    m_buttons.set_valign(Gtk::Align::START);
    m_lower.append(m_tagsFrame);
    m_lower.append(m_actionFrame);
    m_lower.append(m_buttons);

    m_outer.set_margin(10);
    m_outer.append(m_scroll);
    m_outer.append(m_lower);
    set_child(m_outer);
    set_default_widget(m_makeHtml);
    m_makeHtml.add_css_class("suggested-action");
    m_update.set_sensitive(false);

    m_update.signal_clicked().connect(sigc::mem_fun(*this, &CTagEditorDlg::OnUpdate));
    m_clickToPlay.signal_toggled().connect(sigc::mem_fun(*this, &CTagEditorDlg::OnClickToPlay));
    m_makeHtml.signal_clicked().connect([this] { m_editor.MakeHtml(); });
    m_close.signal_clicked().connect(sigc::mem_fun(*this, &CTagEditorDlg::Close));
    // Enter in a field is Make HTML..., as the default button; Escape closes.
    for (Gtk::Entry* entry : {&m_file, &m_title, &m_artist, &m_album, &m_comment})
        entry->set_activates_default(true);
    auto keys = Gtk::EventControllerKey::create();
    keys->signal_key_pressed().connect(
        [this](guint keyval, guint, Gdk::ModifierType) {
            if (keyval != GDK_KEY_Escape)
                return false;
            Close();
            return true;
        },
        false);
    add_controller(keys);
    signal_close_request().connect(
        [this] {
            Close();
            return true;
        },
        false);
    m_list.get_selection()->signal_changed().connect(sigc::mem_fun(*this, &CTagEditorDlg::OnSelectionChanged));

    Fill();
}

void CTagEditorDlg::Fill()
{
    m_editor.Load();
    for (int i = 0; i < static_cast<int>(m_editor.Rows().size()); ++i) {
        m_store->append();
        ShowRow(i);
    }
    m_ready = true;
}

void CTagEditorDlg::ShowRow(int row)
{
    Gtk::TreeRow iter = m_store->children()[static_cast<unsigned>(row)];
    const STagRow& r = m_editor.Rows()[static_cast<std::size_t>(row)];
    iter[m_columns.name] = m_editor.DisplayName(row);
    iter[m_columns.title] = r.title;
    iter[m_columns.artist] = r.artist;
    iter[m_columns.album] = r.album;
    iter[m_columns.comment] = r.comment;
}

void CTagEditorDlg::LimitEntry(Gtk::Entry& entry, std::size_t maxBytes)
{
    // The field holds what the tag can hold: its encoded bytes, whole characters only.
    entry.signal_changed().connect([&entry, maxBytes] {
        const std::string text = entry.get_text();
        const std::string fitted = FitTagText(text, maxBytes);
        if (fitted != text) {
            entry.set_text(fitted);
            entry.set_position(-1);
        }
    });
}

void CTagEditorDlg::ReadControls()
{
    STagFields& f = m_editor.Fields();
    f.file = m_file.get_text();
    f.title = m_title.get_text();
    f.artist = m_artist.get_text();
    f.album = m_album.get_text();
    f.comment = m_comment.get_text();
    m_editor.lockArtist = m_lockArtist.get_active();
    m_editor.lockAlbum = m_lockAlbum.get_active();
    m_editor.lockComment = m_lockComment.get_active();
    m_editor.autoUpdate = m_autoUpdate.get_active();
    m_editor.clickToPlay = m_clickToPlay.get_active();
}

void CTagEditorDlg::WriteControls()
{
    const STagFields& f = m_editor.Fields();
    m_file.set_text(f.file);
    m_title.set_text(f.title);
    m_artist.set_text(f.artist);
    m_album.set_text(f.album);
    m_comment.set_text(f.comment);
}

void CTagEditorDlg::SelectRow(int row)
{
    if (row < 0)
        m_list.get_selection()->unselect_all();
    else
        m_list.get_selection()->select(Gtk::TreePath(std::to_string(row)));
}

void CTagEditorDlg::OnSelectionChanged()
{
    if (!m_ready || m_closed)
        return;
    int row = -1;
    if (auto iter = m_list.get_selection()->get_selected())
        row = static_cast<int>(m_store->get_path(iter)[0]);
    const int left = m_editor.SelectedRow();
    if (row == left)
        return;
    m_update.set_sensitive(false);
    ReadControls();
    const std::string message = m_editor.SelectRow(row);
    if (left >= 0)
        ShowRow(left);
    if (row >= 0) {
        m_update.set_sensitive(true);
        WriteControls();
    }
    const auto reader = GetTitleReader();
    m_id3v2Note.set_visible(row >= 0 && reader && reader->HasId3v2Tag(m_editor.FullPath(row)));
    AfterUpdate(message);
}

void CTagEditorDlg::OnUpdate()
{
    const int row = m_editor.SelectedRow();
    if (row < 0)
        return;
    ReadControls();
    const std::string message = m_editor.UpdateRow(row);
    ShowRow(row);
    WriteControls();
    AfterUpdate(message);
}

void CTagEditorDlg::AfterUpdate(const std::string& message)
{
    if (!message.empty())
        ShowMessageBox(this, message);
    if (m_editor.HasPendingWrites() && !m_retry.connected()) {
        // The file is held: try again every 50 ms while the window stays usable.
        set_cursor("wait");
        m_retry = Glib::signal_timeout().connect(sigc::mem_fun(*this, &CTagEditorDlg::OnRetry), 50);
    }
}

bool CTagEditorDlg::OnRetry()
{
    // What is typed meanwhile stays, unless a failed write puts the file's tag back.
    if (!m_closed)
        ReadControls();
    std::string message;
    m_editor.RetryWrites(std::chrono::steady_clock::now(), &message);
    for (int i = 0; i < static_cast<int>(m_editor.Rows().size()); ++i)
        ShowRow(i);
    if (!message.empty() && !m_closed) {
        WriteControls();
        ShowMessageBox(this, message);
    }
    if (m_editor.HasPendingWrites())
        return true;
    set_cursor("");
    if (m_closed) {
        ReportFileChanges();
        Glib::signal_idle().connect_once([this] { delete this; });
    }
    return false;
}

void CTagEditorDlg::ReportFileChanges()
{
    const std::vector<STagFileChange> changes = m_editor.TakeFileChanges();
    if (!changes.empty() && m_filesChanged)
        m_filesChanged(changes);
}

void CTagEditorDlg::OnClickToPlay()
{
    ReadControls();
    const int row = m_editor.SelectedRow();
    if (m_editor.clickToPlay && row >= 0) {
        if (m_editor.navigate)
            m_editor.navigate(m_editor.PlayUrl(row));
    } else if (!m_editor.clickToPlay) {
        if (m_editor.navigate)
            m_editor.navigate(GetBlankPageUrl());
    }
}

void CTagEditorDlg::Close()
{
    if (m_closed)
        return;
    // Edits not yet applied are dropped; a write already under way is settled first.
    m_closed = true;
    hide();
    ReportFileChanges();
    if (!m_retry.connected())
        Glib::signal_idle().connect_once([this] { delete this; });
}

} // namespace mev
