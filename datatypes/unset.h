// unset!: the value of nothing.
#pragma once

#include "datatypes/unit.h"
#include "runtime/cell.h"
#include "runtime/types.h"

namespace kiv::unset {

// The shared unset value.
extern const Cell value;

inline constexpr auto make_at = unit::make_at<TYPE_UNSET>;
inline constexpr auto make_in = unit::make_in<TYPE_UNSET>;
inline constexpr auto push = unit::push<TYPE_UNSET>;
inline constexpr auto set_result = unit::set_result<TYPE_UNSET>;

void init();

} // namespace kiv::unset
