#include "console/entry.h"

#include "datatypes/url.h"
#include "evaluator/error_text.h"
#include "evaluator/interpreter.h"
#include "evaluator/lexer.h"
#include "evaluator/trap.h"
#include "runtime/roots.h"

namespace kiv::console {

bool run_entry(std::string_view code, Cell& result, ReportError report) {
    Rooted<Cell> loaded;
    lexer::load(*loaded, reinterpret_cast<const uint8_t*>(code.data()), uint32_t(code.size()));
    if (trap::run([&] { interpreter::eval(*loaded, true); }, result)) return true;
    Rooted<Cell> text;
    error_text::form(result, *text);
    report(url::utf8_text(*text) + "\n");
    return false;
}

} // namespace kiv::console
