#include "datatypes/unit.h"

namespace kiv::unit {

bool compares_under(int32_t op) {
    switch (op) {
    case 0:
    case 1:
    case 2:
    case 7:
    case 8:
    case 9:
    case 12: return true;
    default: return false;
    }
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
    return cell::type_of(*value2) == cell::type_of(*value1) && compares_under(op) ? 0 : -2;
}

} // namespace kiv::unit
