// The desktop's CLIPBOARD through GTK. Reading asks for the owner's
// targets, then takes a list of files first, then text, then an image,
// each answer waited for a bounded time; writing makes this process the
// owner, which the loop then serves.
#include "gui/backend/gtk/gtk_backend.h"

#include <memory>
#include <string_view>

namespace kiv::gui::gtk {

namespace {

// The longest wait for the owner's answer to one request.
constexpr double answer_ms = 2000;

GtkClipboard* clipboard() {
    return gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
}

// One request's answer. Abandoned after a timeout, it is freed by the
// answer when that comes at last.
struct Answer {
    bool done = false, abandoned = false;
    bool ok = false;
    GdkAtom type = GDK_NONE;
    std::vector<uint8_t> bytes;
    std::vector<GdkAtom> targets;
    std::string text;
};

void on_answer(GtkClipboard*, GtkSelectionData* selection, gpointer data) {
    auto* answer = static_cast<Answer*>(data);
    if (answer->abandoned) {
        delete answer;
        return;
    }
    answer->done = true;
    int length = gtk_selection_data_get_length(selection);
    answer->ok = length >= 0;
    if (!answer->ok) return;
    const guchar* bytes = gtk_selection_data_get_data(selection);
    answer->bytes.assign(bytes, bytes + length);
    GdkAtom* targets = nullptr;
    gint count = 0;
    if (gtk_selection_data_get_targets(selection, &targets, &count)) {
        answer->targets.assign(targets, targets + count);
        g_free(targets);
    }
    if (guchar* text = gtk_selection_data_get_text(selection)) {
        answer->text = reinterpret_cast<char*>(text);
        g_free(text);
    }
}

// Asks the owner for a target and runs the loop until it answers; null
// when it does not in time.
std::unique_ptr<Answer> request(GdkAtom target) {
    auto* answer = new Answer;
    gtk_clipboard_request_contents(clipboard(), target, on_answer, answer);
    double end = current().now_ms() + answer_ms;
    while (!answer->done) {
        double left = end - current().now_ms();
        if (left <= 0) {
            answer->abandoned = true;
            return nullptr;
        }
        guint timer = g_timeout_add(
            guint(left) + 1,
            [](gpointer id) {
                *static_cast<guint*>(id) = 0;
                return gboolean(G_SOURCE_REMOVE);
            },
            &timer);
        g_main_context_iteration(nullptr, TRUE);
        if (timer) g_source_remove(timer);
    }
    return std::unique_ptr<Answer>(answer);
}

bool offers(const std::vector<GdkAtom>& targets, const char* name) {
    GdkAtom atom = gdk_atom_intern_static_string(name);
    for (GdkAtom t : targets)
        if (t == atom) return true;
    return false;
}

// The local paths of the file:// URIs of a list, one a line ("#" lines
// are comments; the GNOME list starts with the operation).
std::vector<std::string> paths_of(const std::vector<uint8_t>& bytes) {
    std::vector<std::string> paths;
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string line(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == '\0')) line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (gchar* path = g_filename_from_uri(line.c_str(), nullptr, nullptr)) {
            paths.push_back(path);
            g_free(path);
        }
    }
    return paths;
}

constexpr const char* file_list_targets[] = {"text/uri-list", "x-special/gnome-copied-files"};

// PNG bytes of an image the clipboard offers in another format.
bool png_of(const Answer& answer, std::vector<uint8_t>& png) {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    bool loaded =
        gdk_pixbuf_loader_write(loader, answer.bytes.data(), answer.bytes.size(), nullptr);
    loaded = gdk_pixbuf_loader_close(loader, nullptr) && loaded;
    GdkPixbuf* pixbuf = loaded ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
    gchar* buffer = nullptr;
    gsize size = 0;
    bool saved =
        pixbuf && gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "png", nullptr, nullptr);
    if (saved) png.assign(buffer, buffer + size);
    g_free(buffer);
    g_object_unref(loader);
    return saved;
}

// What this process offers when it owns a list of files.
struct OwnedFiles {
    std::vector<std::string> uris, paths;
};
enum FileTarget : guint { uri_list, gnome_list, plain_text, nothing };

void give_files(GtkClipboard*, GtkSelectionData* selection, guint info, gpointer data) {
    auto* files = static_cast<OwnedFiles*>(data);
    if (info == nothing) return; // no data: the requester gets none
    std::string text = info == gnome_list ? "copy" : "";
    const auto& items = info == plain_text ? files->paths : files->uris;
    for (const std::string& item : items) {
        if (!text.empty()) text += info == uri_list ? "\r\n" : "\n";
        text += item;
    }
    if (info == plain_text) {
        gtk_selection_data_set_text(selection, text.c_str(), gint(text.size()));
        return;
    }
    gtk_selection_data_set(selection, gtk_selection_data_get_target(selection), 8,
                           reinterpret_cast<const guchar*>(text.data()), gint(text.size()));
}

void drop_files(GtkClipboard*, gpointer data) {
    delete static_cast<OwnedFiles*>(data);
}

} // namespace

bool GtkBackend::clipboard_read(ClipData& data) {
    data = {};
    auto targets = request(gdk_atom_intern_static_string("TARGETS"));
    if (!targets) return false;
    if (!targets->ok) return true; // no owner: empty
    for (const char* list : file_list_targets) {
        if (!offers(targets->targets, list)) continue;
        auto answer = request(gdk_atom_intern_static_string(list));
        if (!answer) return false;
        data.paths = paths_of(answer->bytes);
        if (!data.paths.empty()) {
            data.kind = ClipData::Kind::files;
            return true;
        }
    }
    if (gtk_targets_include_text(targets->targets.data(), gint(targets->targets.size()))) {
        auto answer = request(gdk_atom_intern_static_string("UTF8_STRING"));
        if (!answer) return false;
        data.kind = ClipData::Kind::text;
        data.text = answer->text;
        return true;
    }
    if (offers(targets->targets, "image/png")) {
        auto answer = request(gdk_atom_intern_static_string("image/png"));
        if (!answer) return false;
        data.kind = ClipData::Kind::image;
        data.png = answer->bytes;
        return true;
    }
    for (GdkAtom target : targets->targets) {
        gchar* name = gdk_atom_name(target);
        bool image = g_str_has_prefix(name, "image/");
        g_free(name);
        if (!image) continue;
        auto answer = request(target);
        if (!answer) return false;
        if (answer->ok && png_of(*answer, data.png)) {
            data.kind = ClipData::Kind::image;
            return true;
        }
    }
    return true;
}

bool GtkBackend::clipboard_write(const ClipData& data) {
    switch (data.kind) {
    case ClipData::Kind::text:
        gtk_clipboard_set_text(clipboard(), data.text.data(), gint(data.text.size()));
        return true;
    case ClipData::Kind::files: {
        static const GtkTargetEntry targets[] = {
            {const_cast<gchar*>("text/uri-list"), 0, uri_list},
            {const_cast<gchar*>("x-special/gnome-copied-files"), 0, gnome_list},
            {const_cast<gchar*>("UTF8_STRING"), 0, plain_text},
            {const_cast<gchar*>("text/plain;charset=utf-8"), 0, plain_text},
        };
        auto* files = new OwnedFiles;
        for (const std::string& path : data.paths) {
            gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
            if (!uri) continue;
            files->uris.push_back(uri);
            files->paths.push_back(path);
            g_free(uri);
        }
        return gtk_clipboard_set_with_data(clipboard(), targets, G_N_ELEMENTS(targets), give_files,
                                           drop_files, files);
    }
    case ClipData::Kind::image: {
        GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
        bool loaded =
            loader && gdk_pixbuf_loader_write(loader, data.png.data(), data.png.size(), nullptr);
        loaded = loader && gdk_pixbuf_loader_close(loader, nullptr) && loaded;
        if (loaded) gtk_clipboard_set_image(clipboard(), gdk_pixbuf_loader_get_pixbuf(loader));
        if (loader) g_object_unref(loader);
        return loaded;
    }
    case ClipData::Kind::empty: {
        // Owned with only a private target, which gives no data: other
        // programs find nothing they can paste.
        static const GtkTargetEntry empty[] = {
            {const_cast<gchar*>("application/x-kiv-empty"), 0, nothing}};
        return gtk_clipboard_set_with_data(clipboard(), empty, 1, give_files, drop_files,
                                           new OwnedFiles);
    }
    }
    return false;
}

} // namespace kiv::gui::gtk
