#include "gui/backend/event_routines.h"

#include "datatypes/block.h"
#include "datatypes/function.h"
#include "datatypes/logic.h"
#include "datatypes/symbol.h"
#include "gui/backend/send_event.h"
#include "runtime/types.h"

namespace kiv::gui::event_routines {

namespace {

bool is_word(const Cell& c) {
    uint32_t t = cell::type_of(c);
    return t == TYPE_WORD || t == TYPE_LIT_WORD;
}

bool same_word(const Cell& a, const Cell& b) {
    return symbol::resolve(a.w2) == symbol::resolve(b.w2);
}

// event? value: whether the value is an event!.
void event_q(Cell* args) {
    logic::make_at(args[0], cell::type_of(args[0]) == TYPE_EVENT);
}

// find-flag? facet flag: a word facet is the flag; a block facet holds it
// as a word or lit-word; anything else: false.
void find_flag_q(Cell* args) {
    const Cell &facet = args[0], &flag = args[1];
    bool found = false;
    if (is_word(facet)) {
        found = same_word(facet, flag);
    } else if (cell::type_of(facet) == TYPE_BLOCK) {
        for (const Cell *c = block::rs_head(facet), *end = block::rs_tail(facet); c < end && !found;
             ++c)
            found = is_word(*c) && same_word(*c, flag);
    }
    logic::make_at(args[0], found);
}

// send-event-os event queued?: whether a window message was sent.
void send_event_os(Cell* args) {
    bool queued = logic::get(args[1]);
    logic::make_at(args[0], os_send_event(args[0], queued) == 1);
}

} // namespace

void register_routines() {
    routine::register_named("event?", event_q);
    routine::register_named("find-flag?", find_flag_q);
    routine::register_named("send-event-os", send_event_os);
}

} // namespace kiv::gui::event_routines
