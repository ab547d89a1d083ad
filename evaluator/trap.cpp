#include "evaluator/trap.h"

#include <new>
#include <stdexcept>

#include "datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/roots.h"

namespace kiv::trap {

void raise_cxx_failure() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
    } catch (const std::length_error&) {
        runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
    } catch (const std::exception& failure) {
        Rooted<Cell> text;
        string::make_at(*text, 64);
        string::append_c_string(*text, failure.what());
        runtime::fire_error(runtime::Category::internal, err::internal::limit_hit, &*text);
    }
}

} // namespace kiv::trap
