#include "evaluator/plans.h"

namespace kiv::plans {

Plan table[4096];
RefinementPlan refinement_table[1024];

} // namespace kiv::plans
