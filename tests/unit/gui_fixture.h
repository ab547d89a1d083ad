// The values the GUI backend makes and reads (words, pairs, points,
// tuples, blocks, handles, events) and a fresh event state with `awake`
// as the engine's handler.
#pragma once

#include "datatype_fixture.h"

#include "datatypes/block.h"
#include "datatypes/handle.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/series.h"
#include "datatypes/tuple.h"
#include "gui/backend/event.h"
#include "gui/backend/live_event.h"
#include "gui/backend/message_loop.h"
#include "tests/unit/words_init.h"

namespace kiv::testing {

class GuiValuesTest : public DatatypeTest {
  protected:
    void start_values(void (*awake)(Cell& event, Cell& answer)) {
        test::init_words();
        pair::init();
        point2D::init();
        tuple::init();
        series::init();
        block::init();
        handle::init();
        gui::event::init();
        gui::loop_state() = {};
        gui::live::state() = {};
        gui::live::hooks() = {};
        gui::live::hooks().awake = awake;
    }
    void TearDown() override {
        gui::live::hooks() = {};
        DatatypeTest::TearDown();
    }
};

} // namespace kiv::testing
