// none!: the no-value value that failed lookups return.
#pragma once

#include "datatypes/unit.h"
#include "runtime/cell.h"
#include "runtime/types.h"

namespace kiv::none {

// The shared none value, returned by lookups that find nothing.
extern Cell value;

inline constexpr auto make_at = unit::make_at<TYPE_NONE>;
inline constexpr auto make_in = unit::make_in<TYPE_NONE>;
inline constexpr auto push = unit::push<TYPE_NONE>;
inline constexpr auto set_result = unit::set_result<TYPE_NONE>;
void init();

} // namespace kiv::none
