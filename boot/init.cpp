#include "boot/init.h"

#include "datatypes/binary.h"
#include "datatypes/bitset.h"
#include "datatypes/block.h"
#include "datatypes/char.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/date.h"
#include "datatypes/email.h"
#include "datatypes/error.h"
#include "datatypes/file.h"
#include "datatypes/float.h"
#include "datatypes/function.h"
#include "datatypes/handle.h"
#include "datatypes/hash.h"
#include "datatypes/image.h"
#include "datatypes/integer.h"
#include "datatypes/issue.h"
#include "datatypes/logic.h"
#include "datatypes/map.h"
#include "datatypes/money.h"
#include "datatypes/native.h"
#include "datatypes/natives.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/ownership.h"
#include "datatypes/pair.h"
#include "datatypes/paren.h"
#include "datatypes/path.h"
#include "datatypes/percent.h"
#include "datatypes/point.h"
#include "datatypes/port.h"
#include "datatypes/ref.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/tag.h"
#include "datatypes/time.h"
#include "datatypes/triple.h"
#include "datatypes/tuple.h"
#include "datatypes/typeset.h"
#include "datatypes/unset.h"
#include "datatypes/url.h"
#include "datatypes/vector.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "evaluator/interpreter.h"
#include "evaluator/lexer.h"
#include "evaluator/parse.h"
#include "gui/backend/event.h"
#include "runtime/case.h"
#include "runtime/collector.h"
#include "runtime/console.h"
#include "runtime/cycles.h"
#include "runtime/externals.h"
#include "runtime/hash.h"
#include "runtime/memory.h"
#include "runtime/output_hooks.h"
#include "runtime/random.h"
#include "runtime/slot_table.h"
#include "runtime/stack.h"
#include "runtime/symbol.h"

namespace kiv::boot {
namespace {

// The datatypes in registration order: every parent before its children.
constexpr void (*datatype_inits[])() = {
    datatype::register_datatype,
    unset::init,
    none::init,
    logic::init,
    series::init,
    block::init,
    string::init,
    binary::init,
    bitset::init,
    integer::init,
    symbol::init,
    context::init,
    word::init,
    char_::init,
    native::init,
    path::init,
    function::init,
    routine::init,
    paren::init,
    issue::init,
    url::init,
    file::init,
    object::init,
    triple::init,
    float_::init,
    typeset::init,
    error::init,
    vector::init,
    map::init,
    hash::init,
    pair::init,
    percent::init,
    tuple::init,
    time_::init,
    tag::init,
    email::init,
    handle::init,
    date::init,
    port::init,
    money::init,
    ref::init,
    point2D::init,
    point3D::init,
    image::init,
    gui::event::init,
};

} // namespace

void init_modules() {
    word::collecting = true;
    output_hooks::init();
    os_console::init();
    random::init();
    hashing::seed = uint32_t(random::rand());
    memory::init();
    collector::init();
    externals::init();
    // Resources of the externals table live while a value refers to them.
    collector::hooks.mark_external = [](uint32_t index) { externals::mark(int32_t(index)); };
    collector::add_sweeper(externals::sweep);
    memory::init_node_frame(memory::node_frame_slots);
    memory::init_series_frame();
    unicode::init_case_tables();
    // Some datatypes intern the symbols they test for when they register.
    symbol_table::init();
    datatype::init();
    for (auto* init_type : datatype_inits) init_type();
    context::init_global();
    datatype::make_type_words();
    words::init_runtime_words();
    words::init_refinements();
    words::init_issue();
    natives::reset();
    parse::init();
    stack::init(words::word<"<body>">().w2, words::word<"<anon>">().w2);
    cycles::reset();
    lexer::init();
    interpreter::init();
    slot_table::init();
    ownership::init();
}

} // namespace kiv::boot
