// How the errors of a draw walk reach the program: raised to the caller
// (a draw into an image), or printed on the console output and dropped
// (painting, which never raises). While system/view/silent? is true, the
// dialect's own errors end the walk quietly in either case.
#pragma once

#include <functional>

#include "gui/backend/draw/context.h"
#include "runtime/cell.h"

namespace kiv::gui::draw {

enum class Errors { raise, print };

// Runs drawing work, its errors reported as `errors` says; drawing done
// before an error stays. Printing also drops every other exit, so that a
// paint ends normally.
void report_errors(Errors errors, const std::function<void()>& body);
// Draws the block on the open context.
void run_draw(Context& ctx, const Cell& block, Errors errors);

// Prints an error value through the `print` native, raising nothing.
void print_error(const Cell& error);

} // namespace kiv::gui::draw
