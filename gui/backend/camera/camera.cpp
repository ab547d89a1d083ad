#include "gui/backend/camera/camera.h"

#include "datatypes/float.h"
#include "datatypes/image_layer.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "gui/backend/camera/frame_exchange.h"
#include "gui/backend/camera/source.h"
#include "gui/backend/window_layer.h"
#include "gui/backend/window_proc.h"
#include "platform/cairo_api.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/stdout.h"
#include "runtime/types.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <unordered_map>

namespace kiv::gui::camera {

namespace {

struct Record {
    std::vector<Device> devices;
    // Both null while no device runs; the source stops before the
    // exchange its thread writes goes.
    std::unique_ptr<FrameExchange> exchange;
    std::unique_ptr<Source> source;
    // Of the running stream; messages of an earlier one are ignored.
    uint64_t generation = 0;
    double ratio = 0;
};

struct Registry {
    std::unordered_map<int32_t, std::unique_ptr<Record>> records;
    int32_t last_id = 0;
    uint64_t last_generation = 0;
    std::chrono::milliseconds snapshot_wait{3000};
};
Registry& registry() {
    static Registry registry;
    return registry;
}

Record* record_of(HWnd window) {
    int32_t id = get_window_long(window, slot_widget_extra);
    auto found = registry().records.find(id);
    return found == registry().records.end() ? nullptr : found->second.get();
}

// The record of a message's stream, when that stream still runs.
FrameExchange* exchange_for(HWnd window, uint64_t generation) {
    Record* record = record_of(window);
    if (!record || !record->exchange || record->generation != generation) return nullptr;
    return record->exchange.get();
}

void stop_record(Record& record) {
    if (record.source) record.source->stop();
    record.source.reset();
    record.exchange.reset();
    record.ratio = 0;
}

// The snapshot frame as a new image!, stored in the cell that `target`
// gives once the image is made (null: nowhere); the cell is asked for
// only then, as making the image may move series buffers.
template <class Target>
void take_image(FrameExchange& exchange, Target target) {
    Rooted<Cell> made;
    auto bytes = reinterpret_cast<const uint8_t*>(exchange.snapshot().data());
    image::make_at(*made, image::from_memory(bytes, exchange.width(), exchange.height(), 0));
    exchange.taken();
    if (Cell* cell = target()) *cell = *made;
}

// The record's devices as enumeration finds them, their names into `data`
// as a new block; false, with a line saying why, when there are none.
bool list_devices(Record& record, Cell& data) {
    Enumeration found = provider().enumerate();
    if (found.result == Enumeration::unreadable) {
        stdout_::print_line("Error Creating Device Enumerator");
        return false;
    }
    if (found.result == Enumeration::no_devices) {
        stdout_::print_line("No video capture hardware");
        return false;
    }
    std::vector<std::string> names;
    for (auto& device : found.devices) names.push_back(device.name);
    string::block_of_texts(names, TYPE_STRING, data);
    record.devices = std::move(found.devices);
    return true;
}

[[noreturn]] void cannot_open(int64_t index) {
    Cell number{};
    integer::make_at(number, int32_t(std::clamp<int64_t>(index + 1, INT32_MIN, INT32_MAX)));
    Rooted<Cell> reason;
    static constexpr std::string_view no_device = "No such device";
    string::load_at(reinterpret_cast<const uint8_t*>(no_device.data()), no_device.size(), *reason,
                    string::Encoding::utf8);
    runtime::fire_error(runtime::Category::access, err::access::cannot_open, &number, &*reason);
}

// Black, with the newest frame fitted in.
void paint(HWnd window, FrameExchange* exchange) {
    const CairoApi& cairo = *cairo_api();
    PaintStruct ps;
    cairo_t* cr = begin_paint(window, ps);
    Rect client = client_rect(window);
    cairo.set_source_rgba(cr, 0, 0, 0, 1);
    cairo.rectangle(cr, 0, 0, client.width(), client.height());
    cairo.fill(cr);
    const uint32_t* pixels = exchange ? exchange->preview_frame() : nullptr;
    if (pixels) {
        uint32_t width = exchange->width(), height = exchange->height();
        Rect place = fit(width, height, client.width(), client.height());
        cairo_surface_t* frame = cairo.image_surface_create_for_data(
            reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(pixels)), CAIRO_FORMAT_RGB24,
            int(width), int(height), int(width * 4));
        cairo_pattern_t* pattern = cairo.pattern_create_for_surface(frame);
        double scale = double(width) / std::max(place.width(), 1);
        cairo_matrix_t to_frame{scale, 0, 0, scale, -place.left * scale, -place.top * scale};
        cairo.pattern_set_matrix(pattern, &to_frame);
        cairo.pattern_set_filter(pattern, CAIRO_FILTER_GOOD);
        cairo.set_source(cr, pattern);
        cairo.rectangle(cr, place.left, place.top, place.width(), place.height());
        cairo.fill(cr);
        cairo.pattern_destroy(pattern);
        cairo.surface_destroy(frame);
    }
    end_paint(window, ps);
    if (exchange) exchange->painted();
}

} // namespace

Hooks& hooks() {
    static Hooks hooks;
    return hooks;
}

void init(HWnd window, Cell& data, const Cell& selected, Cell* ratio_cell) {
    release(window);
    bool start = cell::type_of(selected) == TYPE_INTEGER;
    int64_t index = start ? int64_t(integer::get(selected)) - 1 : 0;
    auto record = std::make_unique<Record>();
    if (!list_devices(*record, data)) return;
    int32_t id = ++registry().last_id;
    registry().records[id] = std::move(record);
    set_window_long(window, slot_widget_extra, id);
    if (start && select(window, index) && ratio_cell) float_::make_at(*ratio_cell, ratio(window));
}

bool select(HWnd window, int64_t index) {
    Record* record = record_of(window);
    if (!record || index < 0 || uint64_t(index) >= record->devices.size()) cannot_open(index);
    stop_record(*record);
    std::unique_ptr<Source> source = provider().open(record->devices[size_t(index)]);
    uint64_t generation = ++registry().last_generation;
    if (source) {
        const StreamFormat& format = source->format();
        auto exchange = std::make_unique<FrameExchange>(
            format.width, format.height, [window, generation](FrameExchange::Notice notice) {
                post_message(window,
                             notice == FrameExchange::Notice::snapshot_ready ? snapshot_message
                                                                             : preview_message,
                             generation, 0);
            });
        if (source->start(*exchange)) {
            record->ratio = double(format.width) / format.height;
            record->generation = generation;
            record->exchange = std::move(exchange);
            record->source = std::move(source);
            return true;
        }
    }
    stdout_::print_line("This device cannot preview!");
    return false;
}

void stop(HWnd window) {
    if (Record* record = record_of(window)) stop_record(*record);
    invalidate_rect(window, nullptr, false);
}

void release(HWnd window) {
    int32_t id = get_window_long(window, slot_widget_extra);
    auto found = registry().records.find(id);
    if (found == registry().records.end()) return;
    stop_record(*found->second);
    registry().records.erase(found);
    set_window_long(window, slot_widget_extra, 0);
}

double ratio(HWnd window) {
    Record* record = record_of(window);
    return record ? record->ratio : 0;
}

void snapshot(HWnd window, Cell& image) {
    none::make_at(image);
    Record* record = record_of(window);
    if (!record || !record->exchange) return;
    if (record->exchange->wait_for_snapshot(registry().snapshot_wait))
        take_image(*record->exchange, [&] { return &image; });
}

void set_snapshot_wait(std::chrono::milliseconds limit) {
    registry().snapshot_wait = limit;
}

Rect fit(uint32_t frame_width, uint32_t frame_height, int32_t width, int32_t height) {
    if (!frame_width || !frame_height || width <= 0 || height <= 0) return {0, 0, 0, 0};
    double ratio = double(frame_width) / frame_height;
    if (ratio * height < width) {
        int32_t fitted = int32_t(std::lround(ratio * height));
        int32_t left = (width - fitted) / 2;
        return {left, 0, left + fitted, height};
    }
    int32_t fitted = int32_t(std::lround(width / ratio));
    int32_t top = (height - fitted) / 2;
    return {0, top, width, top + fitted};
}

int64_t window_proc(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
    switch (message) {
    case WM_DESTROY: release(window); break;
    case WM_SIZE: invalidate_rect(window, nullptr, false); break;
    case WM_PAINT: {
        Record* record = record_of(window);
        paint(window, record ? record->exchange.get() : nullptr);
        return 0;
    }
    case preview_message:
        if (exchange_for(window, wparam)) invalidate_rect(window, nullptr, false);
        return 0;
    case snapshot_message: {
        FrameExchange* exchange = exchange_for(window, wparam);
        if (!exchange || exchange->state() != FrameExchange::ready) return 0;
        auto face_image = [window] {
            return hooks().face_image ? hooks().face_image(window) : nullptr;
        };
        Cell* image = face_image();
        if (image && cell::type_of(*image) == TYPE_NONE)
            take_image(*exchange, face_image);
        else
            exchange->taken();
        return 0;
    }
    default: break;
    }
    return def_window_proc(window, message, wparam, lparam);
}

} // namespace kiv::gui::camera
