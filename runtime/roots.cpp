#include "runtime/roots.h"

namespace kiv::roots {

std::vector<Cell*> cells;
std::vector<NodeId*> nodes;

} // namespace kiv::roots
