#include "evaluator/plans.h"

namespace kiv::plans {

Plan table[table_size];

} // namespace kiv::plans
