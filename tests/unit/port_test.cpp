// Ports whose actor is a handle!: the action dispatcher runs the native
// actor table the handle names, slot by slot.
#include "datatypes/dispatch.h"
#include "datatypes/handle.h"
#include "datatypes/port.h"
#include "object_fixture.h"

namespace kiv::testing {
namespace {

Cell* native_read(Cell* port, const Cell*, const Cell*, bool, bool, bool, const Cell*) {
    return integer::make_at(*port, 7);
}

class PortTest : public ObjectTest {
  protected:
    void SetUp() override {
        ObjectTest::SetUp();
        port::init();
    }
    // A port of the standard fields whose actor is `actor`.
    Cell port_with(const Cell& actor) {
        Cell none = none_cell();
        Cell p = make_object(blk({sw("spec"), none, sw("scheme"), none, sw("actor"), none}));
        *field(p, "actor") = actor;
        p.header = TYPE_PORT;
        return p;
    }
    static Cell none_cell() { return Cell{TYPE_NONE, 0, 0, 0}; }
};

TEST_F(PortTest, AHandleActorNamesItsNativeTable) {
    static port::ActorTable table{};
    table[uint32_t(Slot::read) - port::first_actor_slot] =
        reinterpret_cast<action::AnyFn>(&native_read);
    Cell actor;
    handle::make_at(actor, port::register_actors(&table), handle::none);
    Cell p = port_with(actor);

    auto read = dispatch::lookup<Slot::read>(p);
    EXPECT_EQ(reinterpret_cast<action::AnyFn>(read),
              table[uint32_t(Slot::read) - port::first_actor_slot]);
    Cell result = p;
    EXPECT_EQ(integer::get(*read(&result, nullptr, nullptr, false, false, false, nullptr)), 7);

    // No entry for the slot: the dispatcher refuses the action.
    EXPECT_EQ(error_of([&] { dispatch::lookup<Slot::write>(p); }),
              (runtime::ErrorSite{runtime::Category::access, err::access::no_port_action}));
    // Slots below append are the port's own, whatever the actor.
    EXPECT_EQ(reinterpret_cast<action::AnyFn>(dispatch::lookup<Slot::mold>(p)),
              datatype::entry(TYPE_PORT, Slot::mold));
}

TEST_F(PortTest, AHandleNamingNoTableIsAnInvalidPort) {
    Cell actor;
    handle::make_at(actor, 0xFFFF, handle::none);
    Cell p = port_with(actor);
    EXPECT_EQ(error_of([&] { dispatch::lookup<Slot::read>(p); }),
              (runtime::ErrorSite{runtime::Category::access, err::access::invalid_port}));
}

} // namespace
} // namespace kiv::testing
