// The common dialogs on GTK: GtkFileChooserDialog (open, save, folder)
// and GtkFontChooserDialog, modal and transient for the owner's window.
// The answer reaches the layer once control is back there.
#include "gui/backend/gtk/gtk_backend.h"

#include "gui/backend/window_layer.h"

#include <sys/stat.h>

#include <memory>

namespace kiv::gui::gtk {

namespace {

GtkWindow* owner_window(HWnd owner) {
    Native* top = owner ? current().native(get_root(owner)) : nullptr;
    return top ? GTK_WINDOW(top->toplevel) : nullptr;
}

void shown(GtkWidget* dialog) {
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_widget_show(dialog);
    if (auto hook = current().dialog_shown) hook(dialog);
}

// GTK's patterns are case-sensitive and "*.*" needs a dot: the filters
// match through our own rule instead.
GtkFileFilter* make_filter(const FileFilter& filter) {
    GtkFileFilter* f = gtk_file_filter_new();
    gtk_file_filter_set_name(f, filter.name.c_str());
    auto* kept = new FileFilter(filter);
    gtk_file_filter_add_custom(
        f, GtkFileFilterFlags(GTK_FILE_FILTER_FILENAME | GTK_FILE_FILTER_DISPLAY_NAME),
        [](const GtkFileFilterInfo* info, gpointer data) -> gboolean {
            const char* name = info->display_name ? info->display_name : info->filename;
            if (!name) return FALSE;
            const char* slash = strrchr(name, '/');
            return filter_matches(*static_cast<FileFilter*>(data), slash ? slash + 1 : name);
        },
        kept, [](gpointer data) { delete static_cast<FileFilter*>(data); });
    return f;
}

bool file_exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

struct FileRun {
    FileDone done;
};

void on_file_response(GtkDialog* dialog, gint response, gpointer data) {
    std::unique_ptr<FileRun> run(static_cast<FileRun*>(data));
    FileAnswer answer;
    if (response == GTK_RESPONSE_ACCEPT) {
        answer.emplace();
        GSList* names = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(dialog));
        for (GSList* n = names; n; n = n->next) {
            answer->push_back(static_cast<char*>(n->data));
            g_free(n->data);
        }
        g_slist_free(names);
    }
    gtk_widget_destroy(GTK_WIDGET(dialog));
    current().defer([done = std::move(run->done), answer] { done(answer); });
}

PangoFontDescription* start_font(GtkWidget* dialog, const FontRequest& request) {
    PangoFontDescription* desc = pango_font_description_new();
    pango_font_description_set_family(desc, request.family.c_str());
    pango_font_description_set_size(desc, int(request.points * PANGO_SCALE));
    pango_font_description_set_weight(desc, PangoWeight(request.weight));
    pango_font_description_set_style(desc,
                                     request.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    // The family fontconfig substitutes for one that is missing.
    PangoContext* context = gtk_widget_get_pango_context(dialog);
    if (PangoFont* font = pango_context_load_font(context, desc)) {
        PangoFontDescription* found = pango_font_describe(font);
        pango_font_description_set_family(desc, pango_font_description_get_family(found));
        pango_font_description_free(found);
        g_object_unref(font);
    }
    return desc;
}

FontAnswer font_answer(const PangoFontDescription* desc) {
    FontAnswer answer;
    if (const char* family = pango_font_description_get_family(desc)) answer.family = family;
    double size = double(pango_font_description_get_size(desc)) / PANGO_SCALE;
    // An absolute size is in device units: points at 96 per inch.
    answer.points = pango_font_description_get_size_is_absolute(desc) ? size * 72 / 96 : size;
    answer.weight = int(pango_font_description_get_weight(desc));
    answer.italic = pango_font_description_get_style(desc) != PANGO_STYLE_NORMAL;
    return answer;
}

struct FontRun {
    FontDone done;
};

void on_font_response(GtkDialog* dialog, gint response, gpointer data) {
    std::unique_ptr<FontRun> run(static_cast<FontRun*>(data));
    std::optional<FontAnswer> answer;
    if (response == GTK_RESPONSE_OK) {
        if (PangoFontDescription* desc = gtk_font_chooser_get_font_desc(GTK_FONT_CHOOSER(dialog))) {
            answer = font_answer(desc);
            pango_font_description_free(desc);
        }
    }
    gtk_widget_destroy(GTK_WIDGET(dialog));
    current().defer([done = std::move(run->done), answer] { done(answer); });
}

} // namespace

void GtkBackend::open_file_dialog(const FileRequest& request, HWnd owner, FileDone done) {
    using Kind = FileRequest::Kind;
    static constexpr struct {
        GtkFileChooserAction action;
        const char* title;
        const char* accept;
    } kinds[] = {{GTK_FILE_CHOOSER_ACTION_OPEN, "Open File", "_Open"},
                 {GTK_FILE_CHOOSER_ACTION_SAVE, "Save File", "_Save"},
                 {GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "Select Folder", "_Select"}};
    const auto& kind = kinds[int(request.kind)];
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        request.title.empty() ? kind.title : request.title.c_str(), owner_window(owner),
        kind.action, "_Cancel", GTK_RESPONSE_CANCEL, kind.accept, GTK_RESPONSE_ACCEPT, nullptr);
    auto* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, FALSE);
    gtk_file_chooser_set_select_multiple(chooser, request.multi && request.kind == Kind::open);
    if (!request.folder.empty())
        gtk_file_chooser_set_current_folder(chooser, request.folder.c_str());
    if (request.kind == Kind::save && !request.name.empty())
        gtk_file_chooser_set_current_name(chooser, request.name.c_str());
    if (request.kind == Kind::open && !request.name.empty()) {
        std::string folder = request.folder.empty() ? "." : request.folder;
        std::string path = folder + "/" + request.name;
        if (file_exists(path)) gtk_file_chooser_select_filename(chooser, path.c_str());
    }
    if (request.kind != Kind::folder) {
        for (const FileFilter& filter : request.filters)
            gtk_file_chooser_add_filter(chooser, make_filter(filter));
        if (GSList* all = gtk_file_chooser_list_filters(chooser)) {
            gtk_file_chooser_set_filter(chooser, GTK_FILE_FILTER(all->data));
            g_slist_free(all);
        }
    }
    g_signal_connect(dialog, "response", G_CALLBACK(on_file_response),
                     new FileRun{std::move(done)});
    shown(dialog);
}

void GtkBackend::open_font_dialog(const FontRequest& request, HWnd owner, FontDone done) {
    GtkWidget* dialog = gtk_font_chooser_dialog_new("Select Font", owner_window(owner));
    if (request.mono)
        gtk_font_chooser_set_filter_func(
            GTK_FONT_CHOOSER(dialog),
            [](const PangoFontFamily* family, const PangoFontFace*, gpointer) -> gboolean {
                return pango_font_family_is_monospace(const_cast<PangoFontFamily*>(family));
            },
            nullptr, nullptr);
    PangoFontDescription* desc = start_font(dialog, request);
    gtk_font_chooser_set_font_desc(GTK_FONT_CHOOSER(dialog), desc);
    pango_font_description_free(desc);
    g_signal_connect(dialog, "response", G_CALLBACK(on_font_response),
                     new FontRun{std::move(done)});
    shown(dialog);
}

} // namespace kiv::gui::gtk
