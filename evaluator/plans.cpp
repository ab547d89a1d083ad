#include "evaluator/plans.h"

namespace kiv::plans {

Plan table[table_size];
RefinementPlan refinement_table[refinement_table_size];

} // namespace kiv::plans
