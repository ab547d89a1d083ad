// The KIVBIN writers. One walk over the value serves both layouts; each
// record is encoded by the layout's field writers. The walk allocates no
// series until the end, so it reads cells in place.
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/image.h"
#include "datatypes/image_layer.h"
#include "datatypes/map.h"
#include "datatypes/money.h"
#include "datatypes/native.h"
#include "datatypes/symbol.h"
#include "datatypes/tuple.h"
#include "datatypes/word.h"
#include "kivbin/format.h"
#include "kivbin/kivbin.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/types.h"

namespace kiv::kivbin {

namespace format {
void refuse(const Cell& value) {
    Rooted<Cell> argument(value);
    argument->header &= ~cell::new_line_flag;
    runtime::fire_error(runtime::Category::access, err::access::no_codec, &*argument);
}
} // namespace format

namespace {

using Bytes = std::vector<uint8_t>;
using format::put_varint;

void put_word4(Bytes& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

uint32_t zigzag(int32_t value) {
    return (uint32_t(value) << 1) ^ uint32_t(value >> 31);
}

Buffer* buffer_of(const Cell& value) {
    return memory::buffer_of(value.w2);
}

// The integer a float, time or percent record may carry in place of its
// eight bytes, when the value is exactly that integer.
bool integral(double value, int32_t& n) {
    if (!(value >= -2147483000.0 && value <= 2147483000.0)) return false;
    if (value != std::trunc(value) || (value == 0 && std::signbit(value))) return false;
    n = int32_t(value);
    return true;
}
bool integral_percent(double value, int32_t& n) {
    if (!(value >= -21474836.0 && value <= 21474836.0)) return false;
    double scaled = std::round(value * 100);
    if (scaled / 100 != value || (value == 0 && std::signbit(value))) return false;
    n = int32_t(scaled);
    return true;
}

class Writer {
  public:
    explicit Writer(bool compact) : compact_(compact) {}

    void write_top(const Cell& value) {
        write(value);
        ++records_;
    }

    // A definition in a boot image: the word with the define prefix, then
    // its value. Neither stays among the boot values the reader keeps, so
    // neither takes a top-level index, and nothing inside the value may be
    // referred to later.
    void write_definition(const Cell& word, const Cell& value) {
        uint32_t index = index_;
        size_t registered = registered_.size();
        payload_.push_back(format::prefix_define);
        Cell plain = word;
        plain.header = TYPE_WORD;
        scalar(plain);
        write(value);
        for (size_t i = registered; i < registered_.size(); ++i) references_.erase(registered_[i]);
        registered_.resize(registered);
        index_ = index;
        ++records_;
    }

    void finish(Cell& out, uint8_t version = format::version) {
        Bytes container(format::magic, format::magic + 6);
        container.push_back(version);
        uint32_t n = uint32_t(symbol_ids_.size());
        container.push_back(uint8_t((compact_ ? flag_compact : 0) | (n ? flag_symbols : 0)));
        if (compact_) {
            put_varint(container, records_);
            put_varint(container, uint32_t(payload_.size()));
            if (n) {
                put_varint(container, n);
                put_varint(container, uint32_t(strings_.size()));
                for (uint32_t offset : offsets_) put_word4(container, offset);
                container.insert(container.end(), strings_.begin(), strings_.end());
            }
        } else {
            put_word4(container, records_);
            put_word4(container, uint32_t(payload_.size()));
            if (n) {
                put_word4(container, n);
                put_word4(container, uint32_t(strings_.size()));
                for (uint32_t offset : offsets_) put_word4(container, offset);
                container.insert(container.end(), strings_.begin(), strings_.end());
            }
        }
        container.insert(container.end(), payload_.begin(), payload_.end());
        if (container.size() > 0x7FFFFFF0u)
            runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
        binary::load_at(out, container.data(), uint32_t(container.size()));
    }

  private:
    // Field writers of the layout.
    void number(uint32_t value) {
        if (compact_) {
            put_varint(payload_, value);
        } else {
            put_word4(payload_, value);
        }
    }
    void signed_number(int32_t value) {
        if (compact_) {
            put_varint(payload_, zigzag(value));
        } else {
            put_word4(payload_, uint32_t(value));
        }
    }
    void word4(uint32_t value) { put_word4(payload_, value); }
    void raw(const void* data, size_t n) {
        auto* bytes = static_cast<const uint8_t*>(data);
        payload_.insert(payload_.end(), bytes, bytes + n);
    }
    void padding() {
        if (!compact_)
            while (payload_.size() % 4) payload_.push_back(0);
    }

    // The header of a typed record: compact prefixes and type byte, or
    // the regular header word with its flag bits.
    void header(uint32_t type, bool new_line, bool shared, bool flag, uint32_t bits = 0) {
        if (compact_) {
            if (new_line) payload_.push_back(format::prefix_new_line);
            if (shared) payload_.push_back(format::prefix_shared);
            uint8_t f = flag ? format::f_flag : 0;
            if (type < format::long_type) {
                payload_.push_back(uint8_t(type) | f);
            } else {
                payload_.push_back(format::long_type | f);
                put_varint(payload_, type);
            }
            return;
        }
        word4(type | bits | (new_line ? format::regular_new_line : 0) |
              (shared ? format::regular_shared : 0));
    }

    uint32_t symbol_number(uint32_t id) {
        auto [it, added] = symbol_numbers_.try_emplace(id, uint32_t(symbol_ids_.size()));
        if (!added) return it->second;
        symbol_ids_.push_back(id);
        offsets_.push_back(uint32_t(strings_.size()));
        const char* name = symbol::c_name(id);
        strings_.insert(strings_.end(), name, name + std::strlen(name) + 1);
        if (!compact_)
            while (strings_.size() % 8) strings_.push_back(0);
        return it->second;
    }

    // Files the key under the current path: the enclosing indexes from
    // the root, then the value's own. Paths lie back to back in one
    // vector, each after its length.
    void register_path(NodeId key) {
        if (references_.try_emplace(key, uint32_t(paths_.size())).second)
            registered_.push_back(key);
        paths_.push_back(uint32_t(enclosing_.size() + 1));
        paths_.insert(paths_.end(), enclosing_.begin(), enclosing_.end());
        paths_.push_back(index_);
    }

    // The reference path of a value already written.
    void path(uint32_t at) {
        uint32_t n = paths_[at];
        if (!compact_) {
            word4(format::regular_reference);
            word4(n);
        } else {
            put_varint(payload_, n);
        }
        for (uint32_t i = 1; i <= n; ++i) number(paths_[at + i]);
    }

    // The walk.

    // Whether a word's context is written as the global one: no context,
    // the global context, or a context no object owns.
    static bool global_word(const Cell& word) {
        if (!word.w1 || word.w1 == context::global) return true;
        uint32_t self = cell::type_of(context::self_of(word.w1));
        return self == TYPE_NONE || self == TYPE_UNSET || self == TYPE_BLOCK;
    }

    // Values that may share their series or context with others; an
    // image without pixels has no buffer to share.
    static bool keyed(const Cell& value) {
        uint32_t type = cell::type_of(value);
        return is_block_type(type) || is_text_type(type) || type == TYPE_BINARY ||
               type == TYPE_VECTOR || type == TYPE_BITSET || type == TYPE_MAP ||
               type == TYPE_OBJECT || type == TYPE_FUNCTION || (type == TYPE_IMAGE && value.w2);
    }

    void write(const Cell& value) {
        if (++depth_ > max_depth)
            runtime::fire_error(runtime::Category::internal, err::internal::too_deep);
        uint32_t type = cell::type_of(value);
        bool is_word = type >= TYPE_WORD && type <= TYPE_REFINEMENT;
        if (!keyed(value) && !(is_word && !global_word(value))) {
            scalar(value);
        } else {
            NodeId key =
                type == TYPE_OBJECT || type == TYPE_FUNCTION || is_word ? value.w1 : value.w2;
            auto found = references_.find(key);
            if (found != references_.end()) {
                shared(value, found->second);
            } else {
                register_path(key);
                enclosing_.push_back(index_);
                index_ = 0;
                content(value);
                index_ = enclosing_.back();
                enclosing_.pop_back();
            }
        }
        ++index_;
        --depth_;
    }

    void shared(const Cell& value, uint32_t at) {
        uint32_t type = cell::type_of(value);
        bool new_line = value.header & cell::new_line_flag;
        bool head = is_block_type(type) || is_text_type(type) || type == TYPE_BINARY ||
                    type == TYPE_VECTOR || type == TYPE_IMAGE;
        if (type >= TYPE_WORD && type <= TYPE_REFINEMENT) {
            header(type, new_line, true, true);
            number(symbol_number(value.w2));
            signed_number(int32_t(value.w3));
        } else if (type == TYPE_BITSET && !compact_) {
            header(type, new_line, true, false, negated(value) ? format::regular_negated : 0);
        } else if (type == TYPE_FUNCTION) {
            header(type, new_line, true, false);
        } else if (head) {
            header(type, new_line, true, value.w1 != 0, unit_bits(value));
            if (!compact_ || value.w1) number(value.w1);
        } else {
            header(type, new_line, true, type == TYPE_BITSET && negated(value));
        }
        path(at);
    }

    static bool negated(const Cell& bits) {
        return buffer_of(bits)->flags & format::bitset_complemented;
    }
    uint32_t unit_bits(const Cell& value) const {
        uint32_t type = cell::type_of(value);
        if (compact_ || !(is_text_type(type) || type == TYPE_BINARY || type == TYPE_VECTOR))
            return 0;
        return buffer_of(value)->unit() << 8;
    }

    void content(const Cell& value) {
        uint32_t type = cell::type_of(value);
        bool new_line = value.header & cell::new_line_flag;
        if (is_block_type(type)) return cells(value, new_line);
        if (is_text_type(type) || type == TYPE_BINARY || type == TYPE_VECTOR)
            return units(value, new_line);
        switch (type) {
        case TYPE_BITSET: return bitset(value, new_line);
        case TYPE_MAP: return map(value, new_line);
        case TYPE_OBJECT: return object(value, new_line);
        case TYPE_FUNCTION:
            header(TYPE_FUNCTION, new_line, false, false);
            return function_body(value);
        case TYPE_IMAGE: return image_record(value, new_line);
        default: return bound_word(value, new_line);
        }
    }

    void cells(const Cell& value, bool new_line) {
        uint32_t type = cell::type_of(value);
        header(type, new_line, false, value.w1 != 0);
        if (!compact_ || value.w1) number(value.w1);
        Buffer* b = buffer_of(value);
        uint32_t n = b->length();
        number(n);
        for (uint32_t i = 0; i < n; ++i) write(buffer_of(value)->head_cell()[i]);
    }

    void units(const Cell& value, bool new_line) {
        uint32_t type = cell::type_of(value);
        Buffer* b = buffer_of(value);
        uint32_t unit = b->unit(), n = b->length();
        header(type, new_line, false, value.w1 != 0, unit_bits(value));
        if (!compact_ || value.w1) number(value.w1);
        if (type == TYPE_BINARY) {
            number(n);
        } else if (type == TYPE_VECTOR) {
            if (compact_) {
                payload_.push_back(uint8_t(value.w3 << 2 | std::countr_zero(unit)));
                number(n);
            } else {
                number(n);
                number(value.w3);
            }
        } else if (compact_) {
            put_varint(payload_, n << 2 | format::code_of_unit(unit));
        } else {
            number(n);
        }
        raw(b->head, size_t(n) * unit);
        padding();
    }

    void bitset(const Cell& value, bool new_line) {
        bool negate = negated(value);
        header(TYPE_BITSET, new_line, false, negate, negate ? format::regular_negated : 0);
        Buffer* b = buffer_of(value);
        number(b->length());
        raw(b->head, b->length());
        padding();
    }

    void map(const Cell& value, bool new_line) {
        header(TYPE_MAP, new_line, false, false);
        number(2 * map::size(value));
        uint32_t n = buffer_of(value)->length();
        for (uint32_t i = 0; i + 1 < n; i += 2) {
            const Cell* pair = buffer_of(value)->head_cell() + i;
            if (!pair[1].header) continue; // a removed entry
            Cell key = pair[0], item = pair[1];
            write(key);
            write(item);
        }
    }

    // An object record: class id, handler indexes, then the context of
    // its words and values.
    void object(const Cell& value, bool new_line) {
        bool handlers = value.w3 != 0;
        header(TYPE_OBJECT, new_line, false, handlers, handlers ? format::regular_handlers : 0);
        object_body(value, handlers);
    }

    void object_body(const Cell& value, bool handlers) {
        signed_number(int32_t(value.w2));
        if (handlers) {
            const Cell* record = memory::buffer_of(value.w3)->head_cell();
            signed_number(int32_t(record[0].w2));
            signed_number(int32_t(record[1].w2));
        }
        context_record(value.w1);
    }

    void context_record(NodeId ctx) {
        const Cell& context = context::cell_of(ctx);
        uint32_t kind = uint32_t(context::kind_of(context));
        bool self = context.header & context::flag::has_self;
        bool on_stack = context.header & context::flag::on_stack;
        uint32_t n = context::size_of(ctx);
        bool any_set = false;
        for (uint32_t i = 0; i < n && !on_stack; ++i)
            any_set = any_set || cell::type_of(*cells::at(ctx, i)) != TYPE_UNSET;
        if (compact_) {
            payload_.push_back(TYPE_CONTEXT);
            payload_.push_back(uint8_t(kind | (self ? format::compact_self : 0) |
                                       (on_stack ? format::compact_on_stack : 0) |
                                       (any_set ? format::compact_values : 0)));
        } else {
            word4(TYPE_CONTEXT | kind << format::context_kind_shift |
                  (self ? format::regular_self : 0) | (on_stack ? format::regular_on_stack : 0) |
                  (any_set ? format::regular_values : 0));
        }
        number(n);
        for (uint32_t i = 0; i < n; ++i) number(symbol_number(context::word_at(ctx, i)->w2));
        if (!any_set) return;
        for (uint32_t i = 0; i < n; ++i) write(*cells::at(ctx, i));
    }

    // A function record after its header: the spec and body lengths, the
    // context, then the spec (index 0) and the body (index 1).
    void function_body(const Cell& value) {
        Cell spec{TYPE_BLOCK, 0, value.w2, 0};
        Cell body = *extras::at(value, extras::body);
        if (cell::type_of(body) != TYPE_BLOCK) format::refuse(value);
        number(buffer_of(spec)->length());
        int32_t body_length = int32_t(buffer_of(body)->length()) - int32_t(body.w1);
        number(uint32_t(std::max(body_length, 0)));
        context_record(value.w1);
        uint32_t outer = index_;
        index_ = 0;
        write(spec);
        index_ = 1;
        write(body);
        index_ = outer;
    }

    // A word bound to an object's or function's context, written first:
    // the record of the value that owns the context follows it. Words of
    // a context that nothing such owns have no record that names it.
    void bound_word(const Cell& value, bool new_line) {
        Cell owner = context::self_of(value.w1);
        uint32_t type = cell::type_of(owner);
        if (type != TYPE_OBJECT && type != TYPE_FUNCTION) format::refuse(value);
        header(cell::type_of(value), new_line, false, true);
        number(symbol_number(value.w2));
        signed_number(int32_t(value.w3));
        bool handlers = type == TYPE_OBJECT && owner.w3 != 0;
        if (compact_) {
            payload_.push_back(uint8_t(type | (handlers ? format::f_flag : 0)));
        } else {
            word4(type | (handlers ? format::regular_handlers : 0));
        }
        if (type == TYPE_FUNCTION) return function_body(owner);
        object_body(owner, handlers);
    }

    // native!, action!: the index, then the spec block, which is written as
    // a value of its own but takes no index: it is found by the native's
    // own path.
    void native(const Cell& value, bool new_line) {
        header(cell::type_of(value), new_line, false, false);
        number(value.w1);
        write(Cell{TYPE_BLOCK, 0, value.w2, 0});
        --index_;
    }

    // op!: the record of the value it wraps, which takes no index.
    void op(const Cell& value, bool new_line) {
        uint32_t wrapped = op::wrapped_type(value);
        if (wrapped == TYPE_ROUTINE) format::refuse(value);
        header(TYPE_OP, new_line, false, false, wrapped << op::wrapped_shift);
        Cell inner = value;
        inner.header = wrapped | (new_line ? cell::new_line_flag : 0);
        write(inner);
        --index_;
    }

    // error!: its context is registered under the error's path, so that
    // later words of it refer to the error; then the code and the six
    // fields after code, type and id.
    void error_record(const Cell& value, bool new_line) {
        register_path(value.w1);
        header(TYPE_ERROR, new_line, false, false);
        number(cells::at(value.w1, error::Field::code)->w2);
        enclosing_.push_back(index_);
        index_ = 0;
        for (uint32_t field = error::Field::arg1; field <= error::Field::stack; ++field)
            write(*cells::at(value.w1, field));
        index_ = enclosing_.back();
        enclosing_.pop_back();
    }

    // Values written without a reference check.
    void scalar(const Cell& value) {
        uint32_t type = cell::type_of(value);
        bool new_line = value.header & cell::new_line_flag;
        switch (type) {
        case TYPE_UNSET:
        case TYPE_NONE: return header(type, new_line, false, false);
        case TYPE_LOGIC:
            if (compact_) {
                if (new_line) payload_.push_back(format::prefix_new_line);
                payload_.push_back(value.w1 ? format::logic_true : format::logic_false);
                return;
            }
            header(type, new_line, false, false);
            return word4(value.w1 != 0);
        case TYPE_DATATYPE: header(type, new_line, false, false); return number(value.w1);
        case TYPE_CHAR: header(type, new_line, false, false); return number(value.w2);
        case TYPE_INTEGER: {
            int32_t n = int32_t(value.w2);
            if (compact_ && n >= 0 && n < 64) {
                if (new_line) payload_.push_back(format::prefix_new_line);
                payload_.push_back(uint8_t(format::small_integer | n));
                return;
            }
            header(type, new_line, false, false);
            return signed_number(n);
        }
        case TYPE_FLOAT:
        case TYPE_PERCENT:
        case TYPE_TIME: return floating(value, new_line);
        case TYPE_PAIR:
            header(type, new_line, false, false);
            signed_number(int32_t(value.w2));
            return signed_number(int32_t(value.w3));
        case TYPE_POINT2D:
            header(type, new_line, false, false);
            word4(value.w1);
            return word4(value.w2);
        case TYPE_POINT3D:
            header(type, new_line, false, false);
            word4(value.w1);
            word4(value.w2);
            return word4(value.w3);
        case TYPE_TYPESET: return typeset(value, new_line);
        case TYPE_TUPLE: return tuple_record(value, new_line);
        case TYPE_DATE: return date(value, new_line);
        case TYPE_MONEY: {
            bool negative = value.header & money::sign_bit;
            header(type, new_line, false, negative, negative ? format::regular_money_sign : 0);
            return raw(&value.w1, 12);
        }
        case TYPE_ISSUE:
            header(type, new_line, false, false);
            return number(symbol_number(value.w2));
        case TYPE_NATIVE:
        case TYPE_ACTION: return native(value, new_line);
        case TYPE_IMAGE: return image_record(value, new_line); // without pixels
        case TYPE_OP: return op(value, new_line);
        case TYPE_ERROR: return error_record(value, new_line);
        case TYPE_WORD:
        case TYPE_SET_WORD:
        case TYPE_LIT_WORD:
        case TYPE_GET_WORD:
        case TYPE_REFINEMENT:
            header(type, new_line, false, false, format::regular_global);
            number(symbol_number(value.w2));
            if (!compact_) word4(value.w3);
            return;
        default: format::refuse(value);
        }
    }

    // image!: its size, then every pixel from pixel 0 as B, G, R, opacity.
    void image_record(const Cell& value, bool new_line) {
        // An image without pixels reads back as 0 by 0, whatever its cell says.
        uint32_t width = value.w2 ? image::width_of(value) : 0;
        uint32_t height = value.w2 ? image::height_of(value) : 0;
        header(TYPE_IMAGE, new_line, false, value.w1 != 0);
        if (!compact_ || value.w1) number(value.w1);
        if (compact_) {
            number(width);
            number(height);
        } else {
            word4(height << 16 | width);
        }
        uint64_t n = value.w2 ? image::pixel_count(value) : 0;
        for (uint64_t i = 0; i < n; ++i) word4(image::get_pixel(value.w2, i));
    }

    void floating(const Cell& value, bool new_line) {
        uint32_t type = cell::type_of(value);
        double d = cell::get_float(value);
        int32_t n = 0;
        if (compact_) {
            bool small = type == TYPE_PERCENT ? integral_percent(d, n) : integral(d, n);
            header(type, new_line, false, small);
            if (small) return signed_number(n);
            word4(value.w2);
            return word4(value.w3);
        }
        if (payload_.size() % 8) word4(0); // keeps the double 8-byte aligned
        header(type, new_line, false, false);
        word4(value.w3);
        word4(value.w2);
    }

    void typeset(const Cell& value, bool new_line) {
        header(TYPE_TYPESET, new_line, false, false);
        if (!compact_) {
            word4(value.w1);
            word4(value.w2);
            return word4(value.w3);
        }
        uint8_t all[12];
        std::memcpy(all, &value.w1, 12);
        uint8_t n = 12;
        while (n && !all[n - 1]) --n;
        payload_.push_back(n);
        raw(all, n);
    }

    void tuple_record(const Cell& value, bool new_line) {
        uint32_t size = tuple::size_of(value);
        if (!compact_) {
            header(TYPE_TUPLE, new_line, false, false, (size & 15) << 8);
            word4(value.w1);
            word4(value.w2);
            return word4(value.w3);
        }
        header(TYPE_TUPLE, new_line, false, size != 3);
        if (size != 3) payload_.push_back(uint8_t(size));
        for (uint32_t i = 0; i < size; ++i) payload_.push_back(tuple::byte_at(value, i));
    }

    void date(const Cell& value, bool new_line) {
        bool has_time = value.w1 & format::date_has_time;
        header(TYPE_DATE, new_line, false, has_time);
        word4(value.w1);
        if (compact_) {
            if (!has_time) return;
            word4(value.w2);
            return word4(value.w3);
        }
        word4(value.w3);
        word4(value.w2);
    }

    bool compact_;
    Bytes payload_;
    Bytes strings_;
    std::vector<uint32_t> offsets_;
    std::vector<uint32_t> symbol_ids_;
    std::unordered_map<uint32_t, uint32_t> symbol_numbers_;
    // Where each series, object or bound word's context was first
    // written: its path's position in paths_.
    std::unordered_map<NodeId, uint32_t> references_;
    std::vector<NodeId> registered_; // the keys of references_, in order
    std::vector<uint32_t> paths_;
    std::vector<uint32_t> enclosing_;
    uint32_t index_ = 0;
    uint32_t depth_ = 0;
    uint32_t records_ = 0; // top-level records
};

// The version byte the built-in boot image carries.
constexpr uint8_t image_version = 1;

} // namespace

void encode_image(const Cell& top, Cell& out) {
    Rooted<Cell> kept(top);
    Writer writer(true);
    // The writer allocates no series, so the block's cells stay put.
    const Cell* values = block::rs_head(*kept);
    int32_t n = block::rs_length(*kept);
    for (int32_t i = 0; i < n; ++i) {
        if (cell::type_of(values[i]) == TYPE_SET_WORD && i + 1 < n) {
            writer.write_definition(values[i], values[i + 1]);
            ++i;
        } else {
            writer.write_top(values[i]);
        }
    }
    writer.finish(out, image_version);
}

void encode(const Cell& value, bool compact, Cell& out) {
    Rooted<Cell> kept(value);
    Writer writer(compact);
    writer.write_top(*kept);
    writer.finish(out);
}

} // namespace kiv::kivbin
