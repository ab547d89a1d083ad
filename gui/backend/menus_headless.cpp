// Menus on the headless backend: the user's part is played by a script.
#include "gui/backend/headless.h"
#include "gui/backend/menus.h"

namespace kiv::gui {

namespace {

// Highlights every item along the path to the chosen one.
std::optional<MenuChoice> walk(HWnd owner, HMenu menu, const std::vector<std::string>& labels) {
    for (size_t depth = 1; depth <= labels.size(); ++depth) {
        std::vector<std::string> prefix(labels.begin(), labels.begin() + long(depth));
        auto step = find_menu_path(menu, prefix);
        if (!step) return std::nullopt;
        menu_item_selected(owner, step->menu, step->position);
        if (depth == labels.size()) return step;
    }
    return std::nullopt;
}

} // namespace

std::optional<MenuChoice> HeadlessBackend::track_popup(HMenu menu, Point screen, HWnd owner) {
    ++popups_shown_;
    last_popup_point_ = screen;
    if (popup_script_.empty()) return std::nullopt;
    std::vector<std::string> labels = std::move(popup_script_.front());
    popup_script_.pop_front();
    return walk(owner, menu, labels);
}

bool choose_from_menu_bar(HWnd window, const std::vector<std::string>& labels) {
    HMenu bar = get_menu(window);
    if (!bar) return false;
    menu_loop_entered(window, false);
    std::optional<MenuChoice> choice = walk(window, bar, labels);
    menu_loop_left(window, false);
    if (choice) menu_item_chosen(window, choice->menu, choice->position);
    return choice || labels.empty();
}

} // namespace kiv::gui
