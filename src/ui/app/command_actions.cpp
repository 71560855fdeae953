#include "ui/app/command_actions.hpp"

#include <set>
#include <string>

#include <giomm/menuitem.h>

#include "core/commands/command_ids.hpp"
#include "ui/app/menu_tables.hpp"
#include "ui/widgets/open_with_menu.hpp"

namespace mev {
namespace {

const int ALL_MENUS[] = {IDR_MAINFRAME,       IDR_IMAGE_MENU,      IDR_INDEX_MENU,
                         IDR_AUDIO_MENU,      IDR_VIDEO_MENU,      IDR_FULLSCREEN_MENU,
                         IDR_AUDIO_LIST_MENU, IDR_VIDEO_LIST_MENU, IDR_FOLDER_TREE_MENU};

bool IsCheckable(int id)
{
    for (int menu : ALL_MENUS) {
        std::vector<const std::vector<MenuEntry>*> stack{&GetMenuEntries(menu)};
        while (!stack.empty()) {
            const auto* entries = stack.back();
            stack.pop_back();
            for (const MenuEntry& e : *entries) {
                if (e.kind == MenuEntry::Kind::Item && e.id == id && e.checkable)
                    return true;
                if (e.kind == MenuEntry::Kind::Popup)
                    stack.push_back(&e.children);
            }
        }
    }
    return false;
}

bool IsOpenWithPopup(const MenuEntry& e)
{
    return e.kind == MenuEntry::Kind::Popup && !e.children.empty() &&
           e.children.front().id == ID_OPENWITH_SELECT;
}

// Separators of a resource become section boundaries of the GIO model. An Open With
// popup shows the programs of the menu's list above its "Select...".
void Fill(const Glib::RefPtr<Gio::Menu>& menu, const std::vector<MenuEntry>& entries, bool withOpenWith,
          const std::string& openWithList)
{
    auto section = Gio::Menu::create();
    auto flush = [&] {
        if (section->get_n_items() > 0)
            menu->append_section(section);
        section = Gio::Menu::create();
    };
    for (const MenuEntry& e : entries) {
        switch (e.kind) {
        case MenuEntry::Kind::Separator:
            flush();
            break;
        case MenuEntry::Kind::Popup: {
            if (IsOpenWithPopup(e)) {
                if (withOpenWith)
                    section->append_submenu(ToGtkLabel(e.label),
                                            BuildOpenWithPopup(openWithList, &CCommandActions::MenuActionName));
                break;
            }
            auto sub = Gio::Menu::create();
            Fill(sub, e.children, withOpenWith, openWithList);
            section->append_submenu(ToGtkLabel(e.label), sub);
            break;
        }
        case MenuEntry::Kind::Item: {
            std::string text = ToGtkLabel(e.label);
            const std::string suffix = GetLabelSuffix(e.label);
            if (!suffix.empty())
                text += " " + suffix;
            auto item = Gio::MenuItem::create(text, CCommandActions::MenuActionName(e.id));
            const std::string accel = GetLabelAccel(e.label);
            if (!accel.empty())
                item->set_attribute_value("accel", Glib::Variant<Glib::ustring>::create(accel));
            section->append_item(item);
            break;
        }
        }
    }
    flush();
}

} // namespace

CCommandActions::CCommandActions(CCommandRouter& router)
    : m_router(router), m_menuGroup(Gio::SimpleActionGroup::create()), m_keyGroup(Gio::SimpleActionGroup::create())
{
    std::set<int> ids;
    for (int menu : ALL_MENUS) {
        for (int id : CollectMenuCommands(menu))
            ids.insert(id);
    }
    // The Open With entries are not in the resources: they are filled in from the lists.
    for (int i = 0; i < ID_OPENWITH_MENU_COUNT; ++i)
        ids.insert(ID_OPENWITH_FIRST + i);
    for (int id : ids) {
        const Glib::ustring name = "cmd-" + std::to_string(id);
        if (IsCheckable(id))
            m_checkable.insert(id);
        auto action = m_checkable.count(id) != 0 ? Gio::SimpleAction::create_bool(name, false) : Gio::SimpleAction::create(name);
        action->signal_activate().connect([this, id](const Glib::VariantBase&) { Run(id); });
        action->set_enabled(false);
        m_menuGroup->add_action(action);
        m_menuActions[id] = action;
    }
    std::vector<int> keyIds;
    for (const AcceleratorEntry& row : GetAcceleratorTable(IDR_MAINFRAME))
        keyIds.push_back(row.id);
    m_keyGroup = CreateKeyGroup(keyIds);
}

Glib::RefPtr<Gio::SimpleActionGroup> CCommandActions::CreateKeyGroup(const std::vector<int>& ids)
{
    auto group = Gio::SimpleActionGroup::create();
    for (int id : ids) {
        auto action = Gio::SimpleAction::create("key-" + std::to_string(id));
        action->signal_activate().connect([this, id](const Glib::VariantBase&) { Run(id); });
        group->add_action(action);
    }
    return group;
}

void CCommandActions::InstallAccelerators(Gtk::Application& app)
{
    for (const AcceleratorEntry& row : GetAcceleratorTable(IDR_MAINFRAME)) {
        std::vector<Glib::ustring> keys(row.keys.begin(), row.keys.end());
        app.set_accels_for_action(KeyActionName(row.id), keys);
    }
}

Glib::RefPtr<Gio::Menu> CCommandActions::BuildMenu(int menuId, bool withOpenWith) const
{
    auto menu = Gio::Menu::create();
    if (menuId == IDR_MAINFRAME) {
        // The menu bar: each popup is a top-level sub-menu.
        for (const MenuEntry& e : GetMenuEntries(menuId)) {
            auto sub = Gio::Menu::create();
            Fill(sub, e.children, withOpenWith, {});
            menu->append_submenu(ToGtkLabel(e.label), sub);
        }
    } else {
        Fill(menu, GetMenuEntries(menuId), withOpenWith, GetOpenWithListName(menuId));
    }
    return menu;
}

void CCommandActions::Refresh()
{
    for (auto& [id, action] : m_menuActions) {
        CCmdUI ui;
        ui.id = id;
        m_router.UpdateState(ui);
        if (action->get_enabled() != ui.enabled)
            action->set_enabled(ui.enabled);
        if (m_checkable.count(id) != 0) {
            bool now = false;
            action->get_state(now);
            if (now != ui.checked)
                action->set_state(Glib::Variant<bool>::create(ui.checked));
        }
    }
}

Glib::ustring CCommandActions::MenuActionName(int id)
{
    return Glib::ustring(MENU_GROUP) + ".cmd-" + std::to_string(id);
}

Glib::ustring CCommandActions::KeyActionName(int id)
{
    return Glib::ustring(KEY_GROUP) + ".key-" + std::to_string(id);
}

Glib::RefPtr<Gio::SimpleAction> CCommandActions::FindMenuAction(int id) const
{
    auto it = m_menuActions.find(id);
    return it == m_menuActions.end() ? Glib::RefPtr<Gio::SimpleAction>{} : it->second;
}

void CCommandActions::Run(int id)
{
    m_router.Execute(id);
    Refresh();
}

} // namespace mev
