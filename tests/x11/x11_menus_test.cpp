// Menus and common dialogs on the X server: a menu bar above the client
// area opened by a click and by Alt with a mnemonic, popups chosen and
// dismissed from the keyboard, and the file and font dialogs answered
// through GTK and through XTest while the owner's timer keeps firing.
#include "x11_fixture.h"

#include "gui/backend/dialogs_modal.h"
#include "gui/backend/gui_init.h"
#include "gui/backend/menus.h"

#include <X11/keysym.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <utility>

namespace kiv::testing {
namespace {

using namespace gui;
namespace fs = std::filesystem;

MenuItemInfo label(const char* text, uint32_t id, HMenu submenu = 0) {
    return {
        MIIM_STRING | MIIM_ID | (submenu ? uint32_t(MIIM_SUBMENU) : 0u), 0, id, submenu, 0, text};
}

// Keys tapped from a GLib timeout once a popup of this process holds the
// keyboard. The timeout runs inside the popup's modal loop, after the
// popup took its grab: the keys reach the popup, never the window before
// it opens nor a popup that is closing, and nothing else competes for the
// keyboard while the popup grabs it.
std::function<void()> keys_for_popup;

gboolean tap_into_popup(gpointer) {
    GdkDisplay* display = gdk_display_get_default();
    GdkDevice* keyboard = gdk_seat_get_keyboard(gdk_display_get_default_seat(display));
    if (!gdk_display_device_is_grabbed(display, keyboard)) return G_SOURCE_CONTINUE;
    std::exchange(keys_for_popup, nullptr)();
    return G_SOURCE_REMOVE;
}

// Runs the popup with the keys tapped into it; true when they were.
bool popup_with_keys(HMenu popup, HWnd owner, std::function<void()> keys, bool& chosen) {
    keys_for_popup = std::move(keys);
    guint source = g_timeout_add(20, tap_into_popup, nullptr);
    chosen = track_popup_menu(popup, {150, 150}, owner);
    if (!keys_for_popup) return true;
    g_source_remove(source);
    keys_for_popup = nullptr;
    return false;
}

class X11MenusTest : public X11Test {
  protected:
    // A window with the bar [&File [&Open &Quit\tCtrl+Q]].
    HWnd window_with_bar(const std::string& title) {
        HWnd w = make_window(title, {100, 100, 400, 300});
        bar = create_menu();
        file = create_popup_menu();
        insert_menu_item(file, 0, label("&Open", 0));
        insert_menu_item(file, 1, label("&Quit\tCtrl+Q", 1));
        insert_menu_item(bar, 0, label("&File", 0, file));
        set_menu(w, bar);
        return w;
    }
    bool chose(HWnd w, uint64_t id) {
        return pump_until([&] {
            for (const Recorded& r : recorded({WM_COMMAND}))
                if (r.window == w && r.wparam == id && r.lparam == 0) return true;
            return false;
        });
    }
    HMenu bar = 0, file = 0;
};

TEST_F(X11MenusTest, BarSitsAboveTheClientArea) {
    paint_color() = 0x0000FF;
    HWnd w = window_with_bar("menu-bar");
    settle();
    int height = backend().menu_bar_height(w);
    EXPECT_GT(height, 10);
    EXPECT_EQ(xwininfo_rect("menu-bar"), (Rect{100, 100, 400, 300}));
    EXPECT_EQ(window_rect(w), (Rect{100, 100, 400, 300}));
    EXPECT_EQ(client_rect(w), (Rect{0, 0, 300, 200 - height}));
    ASSERT_TRUE(pump_until([&] { return pixel(250, 100 + height + 5) == 0x0000FF; }));
    EXPECT_NE(pixel(250, 100 + height / 2), 0x0000FFu); // the bar
    EXPECT_EQ(client_to_screen(w, {}), (Point{100, 100 + height}));
    // Without the bar the client takes the whole window again.
    set_menu(w, 0);
    settle();
    EXPECT_EQ(client_rect(w), (Rect{0, 0, 300, 200}));
    EXPECT_EQ(xwininfo_rect("menu-bar"), (Rect{100, 100, 400, 300}));
}

bool near_color(uint32_t a, uint32_t b) {
    for (int shift : {0, 8, 16})
        if (std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)) > 24) return false;
    return true;
}

// The bar's strip shows the theme's window background, and the separator
// of its open menu stands out from the menu, in the light theme and in
// the dark one.
TEST_F(X11MenusTest, BarAndSeparatorShowInBothThemes) {
    paint_color() = 0x0000FF;
    for (bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        std::string title = dark ? "menu-dark" : "menu-light";
        HWnd w = window_with_bar(title);
        insert_menu_item(file, 1, {MIIM_FTYPE | MIIM_ID, MFT_SEPARATOR, 2, 0, 0, {}});
        set_menu(w, bar);
        // The tests' GTK_THEME names the theme; its variant is named with it.
        setenv("GTK_THEME", dark ? "Adwaita:dark" : "Adwaita", 1);
        backend().set_dark_mode(w, dark, false);
        settle();
        int height = backend().menu_bar_height(w);
        uint32_t panel = system_metrics().panel; // red in the low byte
        uint32_t expected = (panel & 0xFF) << 16 | (panel & 0xFF00) | (panel >> 16 & 0xFF);
        EXPECT_TRUE(pump_until([&] { return near_color(pixel(390, 100 + height / 2), expected); }))
            << std::hex << pixel(390, 100 + height / 2) << " for " << expected;

        move_pointer(100 + 20, 100 + height / 2);
        click(1, true);
        click(1, false);
        ASSERT_TRUE(pump_until([&] { return got(w, WM_ENTERMENULOOP); }));
        // A column of the menu near its left edge, down to the client below;
        // inside the menu's frame, its background and the separator's line
        // once the menu is drawn.
        std::vector<uint32_t> column;
        uint32_t back = 0;
        auto separator_shown = [&] {
            column.clear();
            for (int y = 100 + height + 2; y < 300; ++y) {
                uint32_t p = pixel(104, y);
                if (p == 0x0000FF) break;
                column.push_back(p);
            }
            if (column.size() <= 8) return false;
            std::vector<uint32_t> inside(column.begin() + 2, column.end() - 2);
            std::map<uint32_t, int> counts;
            for (uint32_t p : inside) ++counts[p];
            back = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                       return a.second < b.second;
                   })->first;
            return std::any_of(inside.begin(), inside.end(),
                               [&](uint32_t p) { return !near_color(p, back); });
        };
        EXPECT_TRUE(pump_until(separator_shown))
            << column.size() << " menu rows, no line on " << std::hex << back;
        tap({XK_Escape});
        pump_until([&] { return got(w, WM_EXITMENULOOP); });
        setenv("GTK_THEME", "Adwaita", 1);
        backend().set_dark_mode(w, false, false);
        destroy_window(w);
        settle();
    }
}

TEST_F(X11MenusTest, ClickedBarItemBecomesACommand) {
    HWnd w = window_with_bar("menu-click");
    settle();
    int height = backend().menu_bar_height(w);
    move_pointer(100 + 20, 100 + height / 2);
    click(1, true);
    click(1, false);
    ASSERT_TRUE(pump_until([&] { return got(w, WM_ENTERMENULOOP); }));
    tap({XK_Up}); // the last item, with or without one highlighted
    tap({XK_Return});
    ASSERT_TRUE(chose(w, 1));
    EXPECT_TRUE(got(w, WM_EXITMENULOOP));
    // The command follows the selection of its item.
    std::vector<Recorded> selects = recorded({WM_MENUSELECT, WM_COMMAND});
    ASSERT_GE(selects.size(), 2u);
    EXPECT_EQ(selects[selects.size() - 2].wparam, 1u);
    EXPECT_EQ(selects[selects.size() - 2].lparam, file);
}

TEST_F(X11MenusTest, AltWithAMnemonicOpensTheBar) {
    HWnd w = window_with_bar("menu-mnemonic");
    settle();
    focus(w, "menu-mnemonic");
    forget();
    tap({XK_Alt_L, XK_f});
    ASSERT_TRUE(pump_until([&] { return got(w, WM_ENTERMENULOOP); }));
    tap({XK_Up});
    tap({XK_Return});
    ASSERT_TRUE(chose(w, 1));
    // The keys went to the menu, not to the window.
    EXPECT_TRUE(recorded({WM_CHAR}).empty());
}

TEST_F(X11MenusTest, PopupChosenFromTheKeyboardOrDismissed) {
    HWnd w = make_window("menu-popup", {100, 100, 400, 300});
    settle();
    focus(w, "menu-popup");
    HMenu popup = create_popup_menu();
    insert_menu_item(popup, 0, label("&Copy", 0));
    insert_menu_item(popup, 1, {MIIM_FTYPE | MIIM_ID, MFT_SEPARATOR, 1, 0, 0, {}});
    insert_menu_item(popup, 2, label("Paste\tShift+Ins", 2));
    forget();
    bool chosen = false;
    EXPECT_TRUE(popup_with_keys(
        popup, w,
        [this] {
            tap({XK_Up});
            tap({XK_Return});
        },
        chosen));
    EXPECT_TRUE(chosen);
    ASSERT_TRUE(chose(w, 2));
    EXPECT_TRUE(got(w, WM_ENTERMENULOOP));
    EXPECT_TRUE(got(w, WM_EXITMENULOOP));

    forget();
    EXPECT_TRUE(popup_with_keys(
        popup, w, [this] { tap({XK_Escape}); }, chosen));
    EXPECT_FALSE(chosen);
    pump_until([] { return false; }, 100);
    EXPECT_TRUE(recorded({WM_COMMAND}).empty());
    destroy_menu(popup);
}

// The dialog the hook handed over, and what the owner's timer does.
GtkWidget* shown_dialog = nullptr;
int ticks = 0;
std::function<void(GtkWidget*)> answer_at_tick;

void keep_dialog(void* dialog) {
    shown_dialog = static_cast<GtkWidget*>(dialog);
}

// The owner's timer: counts, and answers the dialog on its third tick.
void owner_timer(HWnd, uint32_t, uint64_t, uint32_t) {
    if (++ticks == 3 && shown_dialog && answer_at_tick) answer_at_tick(shown_dialog);
}

class X11DialogsTest : public X11Test {
  protected:
    void SetUp() override {
        X11Test::SetUp();
        shown_dialog = nullptr;
        ticks = 0;
        backend().dialog_shown = keep_dialog;
        std::string pattern = (fs::temp_directory_path() / "kiv-dialogs-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        owner = make_window("dialog-owner", {100, 100, 400, 300});
        settle();
        focus(owner, "dialog-owner");
        set_timer(owner, 7, 40, owner_timer);
    }
    void TearDown() override {
        answer_at_tick = nullptr;
        fs::remove_all(dir);
        X11Test::TearDown();
    }
    fs::path dir;
    HWnd owner = 0;
};

TEST_F(X11DialogsTest, SaveDialogAnsweredThroughGtk) {
    answer_at_tick = [](GtkWidget* dialog) {
        gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(dialog), "answer.txt");
        gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    };
    FileRequest request;
    request.kind = FileRequest::Kind::save;
    request.title = "Save it";
    request.folder = dir.string();
    request.name = "first.txt";
    request.filters = {{"Text", {"*.TXT"}}, {"All", {"*.*"}}};
    FileAnswer answer = ask_file(request);
    ASSERT_TRUE(answer);
    EXPECT_EQ(*answer, (std::vector<std::string>{(dir / "answer.txt").string()}));
    EXPECT_GE(ticks, 3); // the owner's timer kept firing
    EXPECT_TRUE(is_enabled(owner));
    // The dialog was modal for the owner, under its own title.
    ASSERT_NE(shown_dialog, nullptr);
}

TEST_F(X11DialogsTest, OpenDialogFoundByTitleAndAnsweredByKeys) {
    std::ofstream(dir / "picked.txt") << "x";
    answer_at_tick = [this](GtkWidget*) {
        // Typed by the user: the location entry, a name, Return.
        EXPECT_NE(find_by_title("Pick one"), 0u);
        tap({XK_Control_L, XK_l});
        for (unsigned long k : {XK_p, XK_i, XK_c, XK_k, XK_e, XK_d, XK_period, XK_t, XK_x, XK_t})
            tap({k});
        tap({XK_Return});
    };
    FileRequest request;
    request.title = "Pick one";
    request.folder = dir.string();
    request.filters = {{"Text", {"*.TXT"}}};
    FileAnswer answer = ask_file(request);
    ASSERT_TRUE(answer);
    EXPECT_EQ(*answer, (std::vector<std::string>{(dir / "picked.txt").string()}));
}

TEST_F(X11DialogsTest, CancelledFolderDialogAnswersNone) {
    answer_at_tick = [](GtkWidget* dialog) {
        EXPECT_EQ(gtk_file_chooser_get_action(GTK_FILE_CHOOSER(dialog)),
                  GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER);
        gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    };
    FileRequest request;
    request.kind = FileRequest::Kind::folder;
    request.folder = dir.string();
    EXPECT_FALSE(ask_file(request));
}

TEST_F(X11DialogsTest, FontDialogAnswersFamilySizeWeightAndSlant) {
    answer_at_tick = [](GtkWidget* dialog) {
        // Listed, as the dialog shows only monospaced families here.
        PangoFontDescription* d =
            pango_font_description_from_string("DejaVu Sans Mono Bold Oblique 10.5");
        gtk_font_chooser_set_font_desc(GTK_FONT_CHOOSER(dialog), d);
        pango_font_description_free(d);
        gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    };
    std::optional<FontAnswer> answer = ask_font({"Courier New", 11, 400, false, true});
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->family, "DejaVu Sans Mono");
    EXPECT_DOUBLE_EQ(answer->points, 10.5);
    EXPECT_EQ(answer->weight, 700);
    EXPECT_TRUE(answer->italic); // oblique counts as italic
}

} // namespace
} // namespace kiv::testing
