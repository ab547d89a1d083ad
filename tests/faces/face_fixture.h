// Faces for the tests: objects with the face template's fields in order
// (made in Kiv from a spec block), shown through the platform routines on
// the headless backend, with the engine's handler replaced by a recorder
// of event types.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "datatypes/words.h"
#include "gui/backend/faces/face.h"
#include "gui/backend/window_types.h"
#include "runtime/cell.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/throw.h"
#include "tests/unit/error_site.h"

namespace kiv::testing {

class FaceTest : public ::testing::Test {
  public:
    // Event types the recorder saw, as words.
    static std::vector<std::string> events;
    // The word the recorder answers (none when empty).
    static std::string answer;

  protected:
    void SetUp() override;
    void TearDown() override;

    // Evaluates Kiv text; the value of the last expression.
    static Cell eval(const std::string& text);
    // A face made from the spec (set-words and values) over the template.
    static Cell face(const std::string& spec);
    // Calls a platform routine; its result.
    static Cell routine(const char* name, std::initializer_list<Cell> args);
    // make-view of the face under `parent`, with the state block the
    // engine keeps: [window changes none false].
    static gui::HWnd show(const Cell& face, gui::HWnd parent = 0);
    // Sets a facet to the value of Kiv text and marks it changed.
    static void change(const Cell& face, gui::faces::Facet f, const std::string& value);
    static void update(const Cell& face);
    // A shown window face `win` made from `spec`, with an empty pane.
    static gui::HWnd window_face(const std::string& spec);
    // A face `name` made from `spec`, appended to win's pane and shown
    // under `parent`.
    static gui::HWnd child(gui::HWnd parent, const std::string& name, const std::string& spec);
    // The error a body raised (user 0 for none).
    template <class Body>
    static runtime::ErrorSite error_of(Body&& body);
    static std::string molded(const Cell& value);
    static Cell handle_cell(gui::HWnd window);
    static runtime::ErrorSite script_error(uint32_t id) { return {runtime::Category::script, id}; }
};

// Errors are raised to a try frame of their own, and the stacks are put
// back as they were.
template <class Body>
runtime::ErrorSite FaceTest::error_of(Body&& body) {
    runtime::last_error = {runtime::Category::user, 0};
    Cell* base = stack::state.base;
    Cell* top = stack::state.top;
    stack::Frame* ctop = stack::state.ctop;
    stack::mark_try(words::word<"try">());
    runtime::ErrorSite raised{runtime::Category::user, 0};
    try {
        body();
    } catch (const runtime::Throw&) {
        runtime::record.code = 0;
        raised = runtime::last_error;
    }
    stack::state.base = base;
    stack::state.top = top;
    stack::state.ctop = ctop;
    return raised;
}

} // namespace kiv::testing
