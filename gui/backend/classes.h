// The backend's window classes: five of its own and eleven that take over
// a built-in control (superclassing, optionally with a procedure of the
// backend in front of the control's own). Class names compare without
// regard to case.
#pragma once

#include <cstdint>
#include <string_view>

#include "gui/backend/window_types.h"

namespace kiv::gui {

// The procedures of the classes whose behaviour later layers give (base
// faces, their layered helpers, the camera); the default procedure until
// they are set.
struct ClassHooks {
    WindowProc base_proc = nullptr;
    WindowProc base_internal_proc = nullptr;
    WindowProc camera_proc = nullptr;
    // The face's selection facet brought up to date from an edit control.
    void (*sync_selection)(HWnd edit) = nullptr;
    // The face code is told the length of the text about to be pasted.
    void (*before_paste)(HWnd edit) = nullptr;
};
ClassHooks& class_hooks();

// Registers the five own classes, then the eleven superclasses in order.
void register_classes();
// Copies a registered class under a new name; with `front`, that procedure
// goes in front of the class's own, which is returned (null when the
// class is unknown: a diagnostic line is printed and nothing registered).
WindowProc superclass_control(std::string_view name, std::string_view base, WindowProc front);
// Unregisters every class register_classes made.
void unregister_classes();

} // namespace kiv::gui
