// The KIVBIN reader: checks every field against the bytes left, so that no
// input, however forged, reads outside the data, allocates beyond what the
// data could describe, or builds a value the rest of the runtime cannot
// handle. Every failure raises script kb-invalid-record with the offset of
// the failing byte + 1.
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/image_layer.h"
#include "datatypes/integer.h"
#include "datatypes/map.h"
#include "datatypes/money.h"
#include "datatypes/native.h"
#include "datatypes/object.h"
#include "datatypes/series.h"
#include "datatypes/symbol.h"
#include "datatypes/system_object.h"
#include "datatypes/tuple.h"
#include "kivbin/format.h"
#include "kivbin/kivbin.h"
#include "runtime/calendar.h"
#include "runtime/cell_handle.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/interrupt.h"
#include "runtime/lz.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/types.h"

namespace kiv::kivbin {
namespace {

using format::Record;

struct LzBuffer {
    void operator()(uint8_t* buffer) const { lz::free(buffer); }
};

// A series, object or word cell in a container, found again by index
// after anything that may move the container's buffer.
CellHandle cell_at(const Cell& container, uint32_t index) {
    return {container.w2, index};
}

// Appends a value that may hold the only reference to a new series: in
// place when the block has room (nothing is allocated), else growing it
// with the value rooted. The containers are blocks the reader made.
uint32_t append(Cell& container, const Cell& value) {
    Buffer* b = memory::buffer_of(container.w2);
    uint32_t index = b->length();
    if (b->tail + sizeof(Cell) <= b->data_end()) {
        *b->tail_cell() = value;
        b->tail += sizeof(Cell);
        return index;
    }
    Rooted<Cell> kept(value);
    block::append_value(container, *kept);
    return index;
}

bool is_any_word(uint32_t type) {
    return type >= TYPE_WORD && type <= TYPE_REFINEMENT;
}

// The context a shared object!, function! or word record names through
// the referenced cell: an object's, a function's (an op! of one too), a
// bound word's when an object or function owns it, or (for a word) an
// error's; 0 for any other.
NodeId owned_context(const Cell& target, uint32_t owner_type) {
    uint32_t type = cell::type_of(target);
    // A word may also be bound to the context of an error written before.
    if (type == TYPE_ERROR) return owner_type ? 0 : target.w1;
    bool function =
        type == TYPE_FUNCTION || (type == TYPE_OP && op::wrapped_type(target) == TYPE_FUNCTION);
    if (type != TYPE_OBJECT && !function && !is_any_word(type)) return 0;
    if (!target.w1) return 0;
    uint32_t self = cell::type_of(context::self_of(target.w1));
    if (owner_type) return self == owner_type ? target.w1 : 0;
    return self == TYPE_OBJECT || self == TYPE_FUNCTION ? target.w1 : 0;
}

bool is_cell_series(uint32_t type) {
    return is_block_type(type) || type == TYPE_MAP;
}

// The family a shared record's target must belong to: a block record may
// also name the spec of a function-like value.
bool same_family(uint32_t record, uint32_t target) {
    if (is_block_type(record))
        return is_block_type(target) || target == TYPE_NATIVE || target == TYPE_ACTION ||
               target == TYPE_FUNCTION || target == TYPE_OP;
    if (is_text_type(record)) return is_text_type(target);
    return record == target;
}

// What a corrupt record of a boot image throws.
struct BootCorrupt {};

class Reader {
  public:
    // In boot mode, `root` already holds `boot_base` values that records
    // may not name; the values a boot image defines are counted from there.
    Reader(const uint8_t* base, const uint8_t* body, const uint8_t* end, bool compact, Cell& root,
           bool boot = false)
        : base_(base), pos_(body), end_(end), compact_(compact), boot_(boot), root_(root),
          boot_base_(memory::buffer_of(root.w2)->length()) {}

    // Where the last corrupt field lay (offset from the data's start + 1),
    // or 0.
    int64_t failed_at() const { return failed_at_; }

    void read_body(bool symbols) {
        if (compact_) {
            varint();                    // record count, not needed
            uint32_t payload = count(1); // checked against the end below
            if (symbols) read_symbol_table();
            records_end(payload);
        } else {
            if (left() < 8) corrupt(pos_);
            word4();
            uint32_t payload = word4();
            if (symbols) read_symbol_table();
            records_end(payload);
        }
        while (pos_ < payload_end_) record(root_);
    }

  private:
    // Primitives.
    [[noreturn]] void corrupt(const uint8_t* at) {
        failed_at_ = at - base_ + 1;
        // A boot load reports to start-up, which may have no catalog yet.
        if (boot_) throw BootCorrupt{};
        Rooted<Cell> offset;
        integer::make_at(*offset, int32_t(failed_at_));
        runtime::fire_error(runtime::Category::script, err::script::kb_invalid_record, &*offset);
    }
    size_t left() const { return size_t(end_ - pos_); }
    void need(size_t n) {
        if (left() < n) corrupt(pos_);
    }
    uint8_t byte() {
        need(1);
        return *pos_++;
    }
    uint32_t word4() {
        need(4);
        uint32_t v;
        std::memcpy(&v, pos_, 4);
        pos_ += 4;
        return v;
    }
    const uint8_t* bytes(size_t n) {
        need(n);
        const uint8_t* at = pos_;
        pos_ += n;
        return at;
    }
    // An unsigned LEB128 varint of at most 5 bytes that fits 32 bits.
    uint32_t varint() {
        const uint8_t* at = pos_;
        uint32_t value = 0;
        for (uint32_t shift = 0; shift < 35; shift += 7) {
            uint8_t b = byte();
            if (shift == 28 && (b & 0xF0)) corrupt(at);
            value |= uint32_t(b & 0x7F) << shift;
            if (!(b & 0x80)) return value;
        }
        corrupt(at);
    }
    int32_t svarint() {
        uint32_t u = varint();
        return int32_t((u >> 1) ^ (0u - (u & 1)));
    }
    // A number field of the layout: a varint or a 32-bit word.
    uint32_t number() { return compact_ ? varint() : word4(); }
    int32_t signed_number() { return compact_ ? svarint() : int32_t(word4()); }
    // A count or length of items of at least `unit` bytes each: never
    // negative, never more than the bytes left could hold.
    uint32_t count(size_t unit) {
        const uint8_t* at = pos_;
        uint32_t n = number();
        if (n > 0x7FFFFFFFu || uint64_t(n) * unit > left()) corrupt(at);
        return n;
    }
    // Regular layout: series data is padded to 4 bytes from the container
    // start, wherever the container lies in memory.
    void skip_padding() {
        if (compact_) return;
        size_t offset = size_t(pos_ - base_);
        size_t padded = (offset + 3) & ~size_t(3);
        need(padded - offset);
        pos_ = base_ + padded;
    }

    void records_end(uint32_t payload) {
        if (payload > left()) corrupt(pos_);
        payload_end_ = pos_ + payload;
        end_ = payload_end_;
    }

    // The symbol table: offsets and a NUL-ended strings area, both inside
    // the data; names are interned when a record first uses them.
    void read_symbol_table() {
        symbol_count_ = count(4);
        const uint8_t* at = pos_;
        uint32_t size = number();
        if (size > 0x7FFFFFFFu || uint64_t(symbol_count_) * 4 + size > left()) corrupt(at);
        offsets_ = bytes(size_t(symbol_count_) * 4);
        strings_ = bytes(size);
        strings_size_ = size;
        if (size && strings_[size - 1] != 0) corrupt(pos_ - 1);
        ids_.assign(symbol_count_, 0);
        global_slots_.assign(symbol_count_, 0);
    }
    uint32_t symbol() {
        const uint8_t* at = pos_;
        uint32_t n = number();
        if (n >= symbol_count_) corrupt(at);
        last_symbol_ = n;
        if (!ids_[n]) {
            uint32_t offset;
            std::memcpy(&offset, offsets_ + size_t(n) * 4, 4);
            if (offset >= strings_size_) corrupt(at);
            const uint8_t* name = strings_ + offset;
            size_t length = std::strlen(reinterpret_cast<const char*>(name));
            if (!length) corrupt(at);
            ids_[n] = symbol::intern_bytes(name, uint32_t(length));
        }
        return ids_[n];
    }
    // The global context's slot of the symbol number read last, added when
    // missing; looked up once per symbol number.
    uint32_t global_slot(uint32_t sym) {
        uint32_t& slot = global_slots_[last_symbol_];
        if (!slot) slot = context::add_global(sym, true, false).w3 + 1;
        return slot - 1;
    }

    // Headers.
    Record header() {
        Record r;
        r.at = pos_;
        if (compact_) {
            uint8_t b = byte();
            for (;; b = byte()) {
                if (b == format::prefix_new_line) {
                    r.new_line = true;
                } else if (b == format::prefix_shared) {
                    r.shared = true;
                } else if (b == format::prefix_define) {
                    if (!boot_) corrupt(pos_ - 1); // boot images only
                    r.define = true;
                } else {
                    break;
                }
            }
            r.byte = b;
            if (b >= 0x80) {
                if (r.shared || r.define) corrupt(pos_ - 1);
                return r;
            }
            r.flag = b & format::f_flag;
            r.type = b & 0x3F;
            if (r.type == 0x3F) r.type = varint();
            if (!r.type) corrupt(r.at);
            return r;
        }
        uint32_t h = word4();
        while ((h & 0xFF) == 0) { // a filler word
            r.at = pos_;
            h = word4();
        }
        r.word = h;
        r.type = h & 0xFF;
        r.new_line = h & format::regular_new_line;
        r.shared = h & format::regular_shared;
        r.define = boot_ && (h & format::regular_global) && is_any_word(r.type);
        return r;
    }

    // Records.
    void record(Cell& container) {
        runtime::poll();
        if (++depth_ > max_depth) corrupt(pos_);
        Record r = header();
        Cell value{};
        if (r.define) {
            define(r, container);
            --depth_;
            return;
        } else if (compact_ && r.byte >= 0x80) {
            value = short_form(r);
        } else if (!compact_ && r.type == format::regular_reference) {
            value = reference(true);
        } else {
            typed(r, container);
            --depth_;
            return;
        }
        if (r.new_line) value.header |= cell::new_line_flag;
        append(container, value);
        --depth_;
    }

    Cell short_form(const Record& r) {
        if (r.byte <= 0xBF) return Cell{TYPE_INTEGER, 0, r.byte & 0x3Fu, 0};
        if (r.byte == format::logic_true) return Cell{TYPE_LOGIC, 1, 0, 0};
        if (r.byte == format::logic_false) return Cell{TYPE_LOGIC, 0, 0, 0};
        if (r.byte == format::reference) return reference(false);
        corrupt(r.at);
    }

    // A reference path, walked from the root block; the value is a copy of
    // the cell at its end.
    Cell reference(bool marker_read) {
        if (!compact_ && !marker_read) word4(); // the marker word, not checked
        const uint8_t* path_at = pos_;
        uint32_t n = compact_ ? varint() : word4();
        if (n < 1 || n > 65536 || n > left()) corrupt(path_at);
        Cell current = root_;
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* index_at = pos_;
            uint32_t index = number();
            if (!step(current, index)) corrupt(index_at);
        }
        current.header &= ~cell::new_line_flag;
        return current;
    }

    // One step of a reference path; false when the index leads nowhere.
    bool step(Cell& current, uint32_t index) {
        uint32_t type = cell::type_of(current);
        if (is_any_word(type) && current.w1 &&
            (context::cell_of(current.w1).header & context::flag::on_stack)) {
            current = context::self_of(current.w1); // a function's own context
            if (cell::type_of(current) != TYPE_FUNCTION) return false;
            type = TYPE_FUNCTION;
        }
        if (type == TYPE_NATIVE || type == TYPE_ACTION) {
            current = Cell{TYPE_BLOCK, 0, current.w2, 0};
            type = TYPE_BLOCK;
        }
        if (type == TYPE_FUNCTION ||
            (type == TYPE_OP && op::wrapped_type(current) == TYPE_FUNCTION)) {
            if (index > 1) return false;
            current = index == 0 ? Cell{TYPE_BLOCK, 0, current.w2, 0}
                                 : *extras::at(current, extras::body);
            return cell::type_of(current) == TYPE_BLOCK;
        }
        if (is_cell_series(type) || type == TYPE_BLOCK) {
            Buffer* b = memory::buffer_of(current.w2);
            if (index >= b->length()) return false;
            current = b->head_cell()[index];
            return true;
        }
        NodeId ctx = 0;
        uint32_t skip = 0;
        if (type == TYPE_OBJECT) {
            ctx = current.w1;
        } else if (type == TYPE_ERROR) {
            ctx = current.w1;
            skip = 3;
        } else if (is_any_word(type)) {
            ctx = current.w1;
        }
        if (!ctx) return false;
        const Cell& context = context::cell_of(ctx);
        if (context.header & context::flag::on_stack) return false;
        Buffer* values = memory::buffer_of(context.w2);
        if (uint64_t(index) + skip >= values->length()) return false;
        current = values->head_cell()[index + skip];
        return true;
    }

    // A shared record: the referenced cell, of the record's own family.
    Cell shared_series(const Record& r, int32_t head) {
        Cell target = reference(false);
        if (!same_family(r.type, cell::type_of(target))) corrupt(r.at);
        if (is_block_type(r.type) || is_text_type(r.type)) {
            target = Cell{r.type, 0, target.w2, is_block_type(r.type) ? 0 : target.w3};
            if (r.type == TYPE_HASH) target.w3 = 0;
        }
        if (r.type != TYPE_MAP && r.type != TYPE_BITSET) target.w1 = uint32_t(head);
        return target;
    }

    void finish(const Record& r, Cell value, Cell& container) {
        if (r.new_line) value.header |= cell::new_line_flag;
        append(container, value);
    }

    void typed(const Record& r, Cell& container) {
        switch (r.type) {
        case TYPE_UNSET:
        case TYPE_NONE: return finish(r, Cell{r.type, 0, 0, 0}, container);
        case TYPE_LOGIC: return finish(r, Cell{TYPE_LOGIC, word4() != 0, 0, 0}, container);
        case TYPE_DATATYPE: {
            const uint8_t* at = pos_;
            uint32_t id = number();
            if (!format::storable_type(id)) corrupt(at);
            return finish(r, Cell{TYPE_DATATYPE, id, 0, 0}, container);
        }
        case TYPE_CHAR: {
            const uint8_t* at = pos_;
            uint32_t cp = number();
            if (cp > 0x10FFFF) corrupt(at);
            return finish(r, Cell{TYPE_CHAR, 0, cp, 0}, container);
        }
        case TYPE_INTEGER:
            return finish(r, Cell{TYPE_INTEGER, 0, uint32_t(signed_number()), 0}, container);
        case TYPE_FLOAT:
        case TYPE_PERCENT:
        case TYPE_TIME: return finish(r, floating(r), container);
        case TYPE_PAIR: {
            uint32_t x = uint32_t(signed_number());
            return finish(r, Cell{TYPE_PAIR, 0, x, uint32_t(signed_number())}, container);
        }
        case TYPE_POINT2D: {
            uint32_t w1 = word4();
            return finish(r, Cell{TYPE_POINT2D, w1, word4(), 0}, container);
        }
        case TYPE_POINT3D: {
            uint32_t w1 = word4(), w2 = word4();
            return finish(r, Cell{TYPE_POINT3D, w1, w2, word4()}, container);
        }
        case TYPE_TYPESET: return finish(r, typeset(), container);
        case TYPE_TUPLE: return finish(r, tuple(r), container);
        case TYPE_DATE: return finish(r, date(r), container);
        case TYPE_MONEY: return finish(r, money(r), container);
        case TYPE_ISSUE: return finish(r, Cell{TYPE_ISSUE, 0, symbol(), 0}, container);
        case TYPE_CONTEXT:
            if (!boot_) break;
            return context_record(r, container);
        case TYPE_WORD:
        case TYPE_SET_WORD:
        case TYPE_LIT_WORD:
        case TYPE_GET_WORD:
        case TYPE_REFINEMENT: return word(r, container);
        case TYPE_BLOCK:
        case TYPE_PAREN:
        case TYPE_PATH:
        case TYPE_LIT_PATH:
        case TYPE_SET_PATH:
        case TYPE_GET_PATH:
        case TYPE_HASH: return cells(r, container);
        case TYPE_MAP: return map(r, container);
        case TYPE_STRING:
        case TYPE_FILE:
        case TYPE_URL:
        case TYPE_TAG:
        case TYPE_EMAIL:
        case TYPE_REF:
        case TYPE_BINARY:
        case TYPE_VECTOR: return units(r, container);
        case TYPE_BITSET: return bitset(r, container);
        case TYPE_IMAGE: return image_record(r, container);
        case TYPE_OBJECT: return object(r, container);
        case TYPE_FUNCTION: function(r, container, nullptr); return;
        case TYPE_NATIVE:
        case TYPE_ACTION: return native(r, container);
        case TYPE_OP: return op(r, container);
        case TYPE_ERROR: return error(r, container);
        default: break;
        }
        if (format::refused_type(r.type) && !boot_)
            format::refuse(Cell{TYPE_DATATYPE, r.type, 0, 0});
        corrupt(r.at);
    }

    Cell floating(const Record& r) {
        Cell value{r.type, 0, 0, 0};
        if (compact_ && r.flag) {
            double n = double(svarint());
            cell::put_float(value, r.type == TYPE_PERCENT ? n / 100 : n);
        } else if (compact_) {
            value.w2 = word4();
            value.w3 = word4();
        } else {
            value.w3 = word4();
            value.w2 = word4();
        }
        return value;
    }

    Cell typeset() {
        Cell value{TYPE_TYPESET, 0, 0, 0};
        if (!compact_) {
            value.w1 = word4();
            value.w2 = word4();
            value.w3 = word4();
        } else {
            uint8_t n = byte();
            if (n > 12) corrupt(pos_ - 1);
            const uint8_t* b = bytes(n);
            uint8_t all[12] = {};
            std::memcpy(all, b, n);
            std::memcpy(&value.w1, all, 12);
        }
        return value;
    }

    Cell tuple(const Record& r) {
        uint32_t size;
        uint8_t all[12] = {};
        if (compact_) {
            size = r.flag ? byte() : 3;
            if (size < 1 || size > 12) corrupt(pos_ - 1);
            std::memcpy(all, bytes(size), size);
        } else {
            size = (r.word >> 8) & 0xFF;
            if (size < 1 || size > 12) corrupt(r.at);
            std::memcpy(all, bytes(12), 12);
        }
        Cell value{};
        tuple::make_at(value, all, size);
        return value;
    }

    Cell date(const Record& r) {
        Cell value{TYPE_DATE, word4(), 0, 0};
        bool has_time = value.w1 & format::date_has_time;
        if (compact_) {
            if (bool(r.flag) != has_time) corrupt(r.at);
            if (has_time) {
                value.w2 = word4();
                value.w3 = word4();
            }
        } else {
            value.w3 = word4();
            value.w2 = word4();
        }
        if (!valid_date(value)) corrupt(r.at);
        return value;
    }

    // A day of the calendar, and a time (UTC from the local day's start)
    // that keeps the local time within the day, or none at all.
    static bool valid_date(const Cell& value) {
        uint32_t packed = value.w1;
        int32_t month = calendar::month_of(packed), day = calendar::day_of(packed);
        if (month < 1 || month > 12 || day < 1 ||
            day > calendar::month_length(calendar::year_of(packed), month))
            return false;
        double time = cell::get_float(value);
        if (!calendar::has_time(packed)) return time == 0;
        return std::isfinite(time) && time > -calendar::seconds_per_day &&
               time < 2 * calendar::seconds_per_day;
    }

    // money!: the currency index and 22 decimal digits; the sign is the F
    // flag or header bit 22. The currency must be in the locale's list.
    Cell money(const Record& r) {
        bool negative = compact_ ? bool(r.flag) : bool(r.word & format::regular_money_sign);
        const uint8_t* at = pos_;
        const uint8_t* b = bytes(12);
        for (int i = 1; i < 12; ++i)
            if ((b[i] >> 4) > 9 || (b[i] & 15) > 9) corrupt(at);
        const Cell* list = system_object::find({"locale", "currencies", "list"});
        if (b[0] && (!list || b[0] > block::rs_length(*list))) corrupt(at);
        Cell value{TYPE_MONEY | (negative ? money::sign_bit : 0), 0, 0, 0};
        std::memcpy(&value.w1, b, 12);
        return value;
    }

    // A series head index: negative is corrupt.
    int32_t head(const Record& r) {
        if (compact_ && !r.flag) return 0;
        const uint8_t* at = pos_;
        uint32_t h = number();
        if (h > 0x7FFFFFFFu) corrupt(at);
        return int32_t(h);
    }

    // Block family, hash!: the block is appended first, then its cells are
    // decoded into it, so that they may refer to it.
    void cells(const Record& r, Cell& container) {
        int32_t h = head(r);
        if (r.shared) return finish(r, shared_series(r, h), container);
        uint32_t n = count(compact_ ? 1 : 4);
        Cell series{};
        block::make_at(series, int32_t(n));
        series.header = TYPE_BLOCK;
        CellHandle placed = cell_at(container, append(container, series));
        for (uint32_t i = 0; i < n; ++i) record(series);
        if (memory::buffer_of(series.w2)->length() != n) corrupt(pos_);
        placed->header = r.type | (r.new_line ? cell::new_line_flag : 0);
        placed->w1 = uint32_t(h);
        if (r.type == TYPE_HASH) series::hash_new(*placed);
    }

    // map!: the map is made first, in its place, and the keys and values
    // are decoded straight into its entries, so that a value holding the
    // map (a cycle) refers to the map itself; each key is filed once its
    // value is in.
    void map(const Record& r, Cell& container) {
        if (r.shared) return finish(r, shared_series(r, 0), container);
        uint32_t n = count(compact_ ? 1 : 4);
        if (n % 2) corrupt(pos_);
        Rooted<Cell> made;
        map::make_at(*made, nullptr, n / 2);
        if (r.new_line) made->header |= cell::new_line_flag;
        append(container, *made);
        Cell entries{TYPE_BLOCK, 0, made->w2, 0};
        for (uint32_t i = 0; i < n; i += 2) {
            const uint8_t* at = pos_;
            record(entries);
            record(entries);
            if (memory::buffer_of(entries.w2)->length() != i + 2 || !map::file_entry(*made, i))
                corrupt(at);
        }
    }

    // The string family, binary! and vector!: units copied as stored.
    void units(const Record& r, Cell& container) {
        uint32_t unit = 1, element = 0;
        if (!compact_) {
            unit = (r.word >> 8) & 0xFF;
        }
        int32_t h = head(r);
        if (r.shared) return finish(r, shared_series(r, h), container);
        const uint8_t* at = pos_;
        uint32_t n;
        if (r.type == TYPE_BINARY) {
            if (!compact_ && unit != 1) corrupt(r.at);
            n = count(1);
        } else if (r.type == TYPE_VECTOR) {
            if (compact_) {
                uint8_t e = byte();
                unit = 1u << (e & 3);
                element = e >> 2;
                n = count(unit);
            } else {
                n = number();
                element = number();
                if (n > 0x7FFFFFFFu || uint64_t(n) * (unit ? unit : 1) > left()) corrupt(at);
            }
            if (!format::vector_element(element, unit)) corrupt(at);
        } else {
            if (compact_) {
                uint32_t v = varint();
                unit = format::unit_of_code(v & 3);
                n = v >> 2;
            } else {
                n = number();
            }
            if (unit != 1 && unit != 2 && unit != 4) corrupt(at);
            if (uint64_t(n) * unit > left()) corrupt(at);
        }
        const uint8_t* data = bytes(size_t(n) * unit);
        for (uint32_t i = 0; unit > 1 && is_text_type(r.type) && i < n; ++i) {
            uint32_t cp = 0;
            std::memcpy(&cp, data + size_t(i) * unit, unit);
            if (cp > 0x10FFFF) corrupt(data + size_t(i) * unit);
        }
        skip_padding();
        Cell value{r.type, uint32_t(h), memory::alloc_units(std::max(n, 1u), unit), 0};
        if (r.type == TYPE_VECTOR) value.w3 = element;
        Buffer* b = memory::buffer_of(value.w2);
        if (n) std::memcpy(b->head, data, size_t(n) * unit);
        b->tail = b->head + size_t(n) * unit;
        finish(r, value, container);
    }

    void bitset(const Record& r, Cell& container) {
        bool negated = compact_ ? bool(r.flag) : bool(r.word & format::regular_negated);
        if (r.shared) return finish(r, shared_series(r, 0), container);
        uint32_t n = count(1);
        const uint8_t* data = bytes(n);
        skip_padding();
        Cell value{TYPE_BITSET, 0, memory::alloc_bytes(n), 0};
        Buffer* b = memory::buffer_of(value.w2);
        if (n) std::memcpy(b->head, data, n);
        b->tail = b->head + n;
        if (negated) b->flags |= format::bitset_complemented;
        finish(r, value, container);
    }

    // image!: width and height (16 bits each), then the whole image's
    // pixels from pixel 0, four bytes each: B, G, R and opacity.
    void image_record(const Record& r, Cell& container) {
        int32_t h = head(r);
        if (r.shared) return finish(r, shared_series(r, h), container);
        const uint8_t* at = pos_;
        uint32_t width, height;
        if (compact_) {
            width = varint();
            height = varint();
        } else {
            uint32_t size = word4();
            width = size & 0xFFFFu;
            height = size >> 16;
        }
        if (width > 0xFFFFu || height > 0xFFFFu) corrupt(at);
        size_t n = size_t(width) * height * 4;
        const uint8_t* pixels = bytes(n);
        Cell value{};
        image::make_at(value, n ? image::from_memory(pixels, width, height, 0) : 0);
        value.w1 = uint32_t(h);
        finish(r, value, container);
    }

    // Contexts.

    // The context part of an object record: a new object context with its
    // words, whose object cell (or the bound word it owns the context of)
    // is appended to `container` before its values are decoded.
    void context_of_object(const Record& r, bool handlers, Cell& container, Cell* word) {
        const uint8_t* at = pos_;
        uint32_t kind, n;
        bool has_values;
        if (compact_) {
            if ((byte() & 0x3F) != TYPE_CONTEXT) corrupt(at);
            uint8_t c = byte();
            kind = c & 3;
            if (c & format::compact_on_stack) corrupt(at);
            has_values = c & format::compact_values;
            n = count(1);
        } else {
            uint32_t h = word4();
            if ((h & 0xFF) != TYPE_CONTEXT) corrupt(at);
            kind = (h >> 26) & 3;
            if (h & format::regular_on_stack) corrupt(at);
            has_values = h & format::regular_values;
            n = count(4);
        }
        if (kind != uint32_t(context::Kind::object)) corrupt(at);
        Rooted<Cell> object;
        *object = Cell{TYPE_OBJECT, context::new_(n, false, true, 0, context::Kind::object),
                       0xFFFFFFFFu, 0};
        object::write_self(*object);
        NodeId ctx = object->w1;
        add_symbols(ctx, n);
        uint32_t index = place(r, *object, container, word);
        read_values(ctx, n, has_values);
        if (handlers) {
            object::install_handlers(*object);
            if (!word) replace(container, index, *object);
        }
    }

    // The n values of a new context kept in its values block, in slot
    // order; without them the slots hold unset.
    void read_values(NodeId ctx, uint32_t n, bool has_values) {
        Cell values{TYPE_BLOCK, 0, context::cell_of(ctx).w2, 0};
        if (has_values) {
            for (uint32_t i = 0; i < n; ++i) record(values);
            if (memory::buffer_of(values.w2)->length() != n) corrupt(pos_);
        } else {
            Buffer* b = memory::buffer_of(values.w2);
            b->tail = b->head + size_t(n) * sizeof(Cell);
        }
    }

    // Boot images: a context of its own, appended as the object! that
    // owns it, for later word records to bind to by its position.
    void context_record(const Record& r, Cell& container) {
        const uint8_t* at = pos_;
        uint32_t kind, n;
        bool on_stack, has_self, has_values;
        if (compact_) {
            uint8_t c = byte();
            kind = c & format::compact_kind;
            on_stack = c & format::compact_on_stack;
            has_self = c & format::compact_self;
            has_values = c & format::compact_values;
            n = count(1);
        } else {
            kind = (r.word >> format::context_kind_shift) & 3;
            on_stack = r.word & format::regular_on_stack;
            has_self = r.word & format::regular_self;
            has_values = r.word & format::regular_values;
            n = count(4);
        }
        // Values live on the argument stack only for a function's own
        // context, and no record makes a second global context.
        bool function = kind == uint32_t(context::Kind::function);
        if ((!function && kind != uint32_t(context::Kind::object)) || (on_stack && !function))
            corrupt(at);
        Rooted<Cell> object;
        *object = Cell{TYPE_OBJECT, context::new_(n, on_stack, has_self, 0, context::Kind(kind)),
                       0xFFFFFFFFu, 0};
        object::write_self(*object);
        NodeId ctx = object->w1;
        finish(r, *object, container);
        add_symbols(ctx, n);
        if (!on_stack) read_values(ctx, n, has_values);
    }

    // The n symbols of a context record, added to the new context's words
    // in order; a symbol given twice is corrupt.
    void add_symbols(NodeId ctx, uint32_t n) {
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* symbol_at = pos_;
            int32_t added = -1;
            if (context::find_or_add_symbol(ctx, symbol(), false, &added) >= 0) corrupt(symbol_at);
        }
    }

    // Appends the value that owns a new context, or the word bound to it
    // that the record stands for: its index must name an entry of its
    // symbol. Returns the position.
    uint32_t place(const Record& r, const Cell& owner, Cell& container, Cell* word) {
        Cell placed = owner;
        if (word) {
            NodeId ctx = owner.w1;
            if (word->w3 >= context::size_of(ctx) ||
                symbol::resolve(context::word_at(ctx, word->w3)->w2) != symbol::resolve(word->w2))
                corrupt(r.at);
            word->w1 = ctx;
            placed = *word;
        } else if (r.new_line) {
            placed.header |= cell::new_line_flag;
        }
        return append(container, placed);
    }

    // Rewrites a placed value, keeping its new-line flag.
    void replace(Cell& container, uint32_t index, const Cell& value) {
        CellHandle placed = cell_at(container, index);
        uint32_t line = placed->header & cell::new_line_flag;
        *placed = value;
        placed->header |= line;
    }

    // The fields of an object record before its context.
    bool object_fields(const Record& r) {
        bool handlers = compact_ ? bool(r.flag) : bool(r.word & format::regular_handlers);
        signed_number(); // the class id: objects read back get none of their own
        if (handlers) {
            signed_number();
            signed_number();
        }
        return handlers;
    }

    void object(const Record& r, Cell& container) {
        if (r.shared) {
            NodeId ctx = owned_context(reference(false), TYPE_OBJECT);
            if (!ctx) corrupt(r.at);
            return finish(r, context::self_of(ctx), container);
        }
        bool handlers = object_fields(r);
        context_of_object(r, handlers, container, nullptr);
    }

    // function!: a context of the arguments (kept on the argument stack
    // while a call runs), then the spec and body blocks. The function is
    // appended (when a container is given) before its spec and body are
    // decoded. Returns the context.
    void function(const Record& r, Cell& container, Cell* word) {
        if (r.shared) {
            NodeId ctx = owned_context(reference(false), TYPE_FUNCTION);
            if (!ctx || word) corrupt(r.at);
            Cell self = context::self_of(ctx);
            self.header = TYPE_FUNCTION | (self.header & ~(cell::type_mask | cell::new_line_flag));
            return finish(r, self, container);
        }
        uint32_t spec_length = count(compact_ ? 1 : 4);
        uint32_t body_length = count(compact_ ? 1 : 4);
        const uint8_t* at = pos_;
        uint32_t kind, n;
        bool on_stack;
        if (compact_) {
            if ((byte() & 0x3F) != TYPE_CONTEXT) corrupt(at);
            uint8_t c = byte();
            kind = c & 3;
            on_stack = c & format::compact_on_stack;
            n = count(1);
        } else {
            uint32_t h = word4();
            if ((h & 0xFF) != TYPE_CONTEXT) corrupt(at);
            kind = (h >> format::context_kind_shift) & 3;
            on_stack = h & format::regular_on_stack;
            n = count(4);
        }
        if (kind != uint32_t(context::Kind::function) || !on_stack) corrupt(at);
        RootedNode ctx(context::new_(n, true, false, 0, context::Kind::function));
        add_symbols(ctx, n);
        Rooted<Cell> spec, body;
        block::make_at(*spec, int32_t(spec_length));
        block::make_at(*body, int32_t(body_length));
        function::push(*spec, &*body, ctx, 0, 0, 0);
        Rooted<Cell> made(datatype::take_pushed());
        uint32_t index = place(r, *made, container, word);
        Cell spec_block{TYPE_BLOCK, 0, made->w2, 0};
        NodeId spec_node = function_part(spec_block);
        Cell body_block = *extras::at(*made, extras::body);
        NodeId body_node = function_part(body_block);
        made->w2 = spec_node;
        extras::at(*made, extras::body)->w2 = body_node;
        if (body_node != body_block.w2) extras::at(*made, extras::body)->w1 = 0;
        // The context's words are the spec's, in order.
        Rooted<Cell> whole(Cell{TYPE_BLOCK, 0, spec_node, 0});
        RootedNode expected(context::make_from_spec(*whole, true, false, context::Kind::function));
        if (context::size_of(expected) != n) corrupt(at);
        for (uint32_t i = 0; i < n; ++i)
            if (context::word_at(expected, i)->w2 != context::word_at(ctx, i)->w2) corrupt(at);
        made->header = TYPE_FUNCTION | function::validate_spec(*whole);
        context::self_of(ctx) = *made;
        if (!word) replace(container, index, *made);
    }

    // The spec or body of a function record: a block record whose cells
    // are decoded into `part`, or a reference to a block whose series
    // takes its place. Returns the node of the series to keep.
    NodeId function_part(Cell& part) {
        Record r = header();
        if (compact_ && (r.byte >= 0x80 || r.type != TYPE_BLOCK)) corrupt(r.at);
        head(r);
        if (r.shared) {
            Cell target = reference(false);
            if (cell::type_of(target) != TYPE_BLOCK) corrupt(r.at);
            return target.w2;
        }
        uint32_t n = count(compact_ ? 1 : 4);
        for (uint32_t i = 0; i < n; ++i) record(part);
        return part.w2;
    }

    // native!, action!: the index, then the spec block, which must agree
    // with the arity the runtime knows for that index.
    void native(const Record& r, Cell& container) {
        const uint8_t* at = pos_;
        uint32_t index = number();
        Rooted<Cell> scratch;
        block::make_at(*scratch, 1);
        const uint8_t* spec_at = pos_;
        record(*scratch);
        Cell spec = *block::rs_head(*scratch);
        if (cell::type_of(spec) != TYPE_BLOCK) corrupt(spec_at);
        spec.header = TYPE_BLOCK;
        spec.w1 = 0;
        if (!native::valid_index(r.type, int32_t(index), spec)) corrupt(at);
        native::push(r.type, spec, index);
        Rooted<Cell> made(datatype::take_pushed());
        finish(r, *made, container);
    }

    // op!: the record of the native!, action! or function! it wraps, which
    // takes the op!'s place.
    void op(const Record& r, Cell& container) {
        CellHandle placed = cell_at(container, memory::buffer_of(container.w2)->length());
        const uint8_t* at = pos_;
        record(container);
        uint32_t type = cell::type_of(*placed);
        if (type != TYPE_NATIVE && type != TYPE_ACTION && type != TYPE_FUNCTION) corrupt(at);
        if (!compact_ && ((r.word >> op::wrapped_shift) & 0xFF) != type) corrupt(r.at);
        if (type == TYPE_FUNCTION) {
            Cell wrapped = *placed;
            wrapped.header &= ~cell::new_line_flag;
            *extras::at(wrapped, extras::op) = wrapped;
        }
        placed->header = TYPE_OP | (placed->header & ~cell::type_mask) | type << op::wrapped_shift |
                         (r.new_line ? cell::new_line_flag : 0);
    }

    // error!: its code names the catalog entry; the six fields after code,
    // type and id follow, each set as soon as it is read.
    void error(const Record& r, Cell& container) {
        const uint8_t* at = pos_;
        uint32_t code = number();
        Cell* made = error::create_at(code / 100, code % 100 + 2, nullptr, nullptr, nullptr);
        if (!made) corrupt(at);
        Rooted<Cell> value(datatype::take_pushed());
        if (code >= 1000) corrupt(at);
        CellHandle placed = cell_at(container, append(container, *value));
        Rooted<Cell> scratch;
        block::make_at(*scratch, 1);
        for (uint32_t field = 3; field < 9; ++field) {
            memory::buffer_of(scratch->w2)->tail = memory::buffer_of(scratch->w2)->head;
            record(*scratch);
            error::store_field(*value, error::Field(field), *block::rs_head(*scratch));
        }
        if (r.new_line) placed->header |= cell::new_line_flag;
    }

    // Words: global ones take their global slot; bound ones name their
    // context by a reference, or come with the record of the object or
    // function owning it, which binds the word before its values are
    // decoded (they may refer to the word).
    void word(const Record& r, Cell& container) {
        if (boot_) return boot_word(r, container);
        const uint8_t* at = pos_;
        bool global = compact_ ? !r.flag : bool(r.word & format::regular_global) && !r.shared;
        uint32_t sym = symbol();
        int32_t index = !compact_ || !global ? signed_number() : 0;
        if (global) {
            return finish(r, Cell{r.type, context::global, sym, global_slot(sym)}, container);
        }
        Cell word{r.type | (r.new_line ? cell::new_line_flag : 0), 0, sym, uint32_t(index)};
        if (index < 0) corrupt(at);
        if (r.shared) {
            Cell target = reference(false);
            NodeId ctx = owned_context(target, 0);
            if (!ctx) corrupt(r.at);
            place(r, Cell{TYPE_OBJECT, ctx, 0, 0}, container, &word);
            return;
        }
        Record owner;
        owner.at = pos_;
        if (compact_) {
            uint8_t k = byte();
            owner.type = k & 0x3F;
            owner.flag = k & format::f_flag;
        } else {
            owner.word = word4();
            owner.type = owner.word & 0xFF;
        }
        if (owner.type == TYPE_FUNCTION) return function(owner, container, &word);
        if (owner.type != TYPE_OBJECT) corrupt(owner.at);
        bool handlers = object_fields(owner);
        context_of_object(owner, handlers, container, &word);
    }

    // Boot images: a word bound to the global context, or to the context
    // of an earlier top-level value (an object!, a context record or a
    // function!) at the given slot, or at its symbol's slot when the
    // index is -1. The slot must name the word's symbol.
    void boot_word(const Record& r, Cell& container) {
        uint32_t sym = symbol();
        const uint8_t* at = pos_;
        int32_t owner = format::global_context, index = format::by_symbol;
        if (compact_ && r.flag) {
            owner = int32_t(varint());
            index = svarint();
            if (owner < 0) corrupt(at);
        } else if (!compact_) {
            owner = int32_t(word4());
            index = int32_t(word4());
        }
        Cell word{r.type, 0, sym, 0};
        if (owner == format::global_context) {
            word = Cell{r.type, context::global, sym, global_slot(sym)};
            if (index != format::by_symbol && uint32_t(index) != word.w3) corrupt(at);
        } else {
            uint32_t values = memory::buffer_of(root_.w2)->length() - boot_base_;
            if (owner < 0 || uint32_t(owner) >= values) corrupt(at);
            NodeId ctx = owned_context(*cell_at(root_, boot_base_ + uint32_t(owner)), 0);
            if (!ctx) corrupt(at);
            if (index == format::by_symbol) index = context::find_word(ctx, sym, true);
            if (index < 0 || uint32_t(index) >= context::size_of(ctx) ||
                symbol::resolve(context::word_at(ctx, uint32_t(index))->w2) != symbol::resolve(sym))
                corrupt(at);
            word.w1 = ctx;
            word.w3 = uint32_t(index);
        }
        finish(r, word, container);
    }

    // Boot images: a word record whose word is set to the value of the
    // record after it. Both are read into the root block, then cut from
    // it: a definition takes no place among the boot values.
    void define(const Record& r, Cell& container) {
        if (&container != &root_ || depth_ != 1) corrupt(r.at);
        if (!is_any_word(r.type) && r.type != TYPE_ISSUE) corrupt(r.at);
        Buffer* root = memory::buffer_of(root_.w2);
        uint32_t before = root->length();
        typed(r, root_);
        record(root_);
        root = memory::buffer_of(root_.w2);
        if (root->length() < before + 2) corrupt(r.at);
        Rooted<Cell> word(*cell_at(root_, before));
        Rooted<Cell> value(*cell_at(root_, before + 1));
        value->header &= ~cell::new_line_flag;
        if (cell::type_of(*word) == TYPE_ISSUE) *word = context::add_global(word->w2, true, false);
        if (context::cell_of(word->w1).header & context::flag::on_stack) corrupt(r.at);
        word->header = TYPE_WORD;
        word::set(*word, *value);
        root = memory::buffer_of(root_.w2);
        root->tail = root->head + size_t(before) * sizeof(Cell);
    }

    const uint8_t* base_;
    const uint8_t* pos_;
    const uint8_t* end_;
    const uint8_t* payload_end_ = nullptr;
    bool compact_;
    bool boot_;
    int64_t failed_at_ = 0;
    Cell& root_;
    uint32_t boot_base_;
    uint32_t depth_ = 0;
    const uint8_t* offsets_ = nullptr;
    const uint8_t* strings_ = nullptr;
    uint32_t symbol_count_ = 0;
    uint32_t strings_size_ = 0;
    std::vector<uint32_t> ids_;
    std::vector<uint32_t> global_slots_; // slot + 1 by symbol number, 0 unknown
    uint32_t last_symbol_ = 0;
};

// A container's body, ready to read: decompressed when its flags say so.
struct Container {
    const uint8_t* base = nullptr; // offsets count from here
    const uint8_t* body = nullptr;
    const uint8_t* end = nullptr;
    uint8_t flags = 0;
    std::unique_ptr<uint8_t, LzBuffer> expanded;
};

enum class Opened { ok, not_kivbin, bad_compression };

Opened open(const uint8_t* data, size_t length, Container& c) {
    if (length < format::header_size || std::memcmp(data, format::magic, 6) != 0)
        return Opened::not_kivbin;
    c.flags = data[7];
    c.base = data;
    c.body = data + format::header_size;
    c.end = data + length;
    if (c.flags & flag_compressed) {
        uint32_t size = 0;
        c.expanded.reset(lz::decompress(c.body, size_t(c.end - c.body), &size));
        if (!c.expanded) return Opened::bad_compression;
        c.body = c.expanded.get();
        c.base = c.body - format::header_size;
        c.end = c.body + size;
    }
    return Opened::ok;
}

[[noreturn]] void invalid_data(const Cell& binary) {
    runtime::fire_error(runtime::Category::script, err::script::invalid_data, &binary);
}

} // namespace

void decode(const Cell& binary, Cell& target) {
    Rooted<Cell> source(binary);
    Pin pin(source->w2);
    Container c;
    if (open(binary::head_ptr(*source), binary::length(*source), c) != Opened::ok)
        invalid_data(*source);
    Reader reader(c.base, c.body, c.end, c.flags & flag_compact, target);
    reader.read_body(c.flags & flag_symbols);
}

BootLoad boot_load(const uint8_t* data, size_t length, Cell& target) {
    BootLoad result;
    result.base = memory::buffer_of(target.w2)->length();
    Container c;
    switch (open(data, length, c)) {
    case Opened::not_kivbin: result.failure = "Error: Not a Kivbin file!"; return result;
    case Opened::bad_compression:
        result.failure = "Error: Kivbin compressed data corrupted!";
        return result;
    case Opened::ok: break;
    }
    struct CollectorOff {
        bool was = collector::active;
        CollectorOff() { collector::active = false; }
        ~CollectorOff() { collector::active = was; }
    } off;
    Reader reader(c.base, c.body, c.end, c.flags & flag_compact, target, true);
    try {
        reader.read_body(c.flags & flag_symbols);
    } catch (const BootCorrupt&) {
        result.failure =
            "Error: KIVBIN - invalid record at index " + std::to_string(reader.failed_at());
    }
    return result;
}

} // namespace kiv::kivbin
