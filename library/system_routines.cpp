#include "library/system_routines.h"

#include <cstring>
#include <string>
#include <string_view>

#include "build_info.h"
#include "datatypes/block.h"
#include "datatypes/error.h"
#include "datatypes/file.h"
#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/issue.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "io/files.h"
#include "platform/os.h"
#include "platform/os_info.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/throw.h"

namespace kiv::system_routines {
namespace {

void text_at(Cell& out, std::string_view text) {
    string::load_at(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()), out,
                    string::Encoding::utf8);
}

// error-catalog: the loaded error catalog object.
void error_catalog(Cell* args) {
    args[0] = error::catalog();
}

// build-value name: one fact of this build, by name. Times are seconds
// since 1970 (UTC); a checkout without tags or git gives none for what it
// cannot tell.
struct BuildFact {
    const char* name;
    void (*make)(Cell& out);
};

void text_or_none(Cell& out, const char* text) {
    if (*text)
        text_at(out, text);
    else
        none::make_at(out);
}

void issue_or_none(Cell& out, const char* text) {
    if (*text)
        issue::make_at(out, text);
    else
        none::make_at(out);
}

const BuildFact build_facts[] = {
    {"date", [](Cell& out) { integer::make_at(out, int32_t(build_info::build_time)); }},
    {"branch", [](Cell& out) { text_or_none(out, build_info::branch); }},
    {"tag", [](Cell& out) { issue_or_none(out, build_info::tag); }},
    {"ahead", [](Cell& out) { integer::make_at(out, build_info::ahead); }},
    {"git-date", [](Cell& out) { integer::make_at(out, int32_t(build_info::commit_time)); }},
    {"commit", [](Cell& out) { issue_or_none(out, build_info::commit); }},
    {"message", [](Cell& out) { text_at(out, build_info::message); }},
    {"os-version", [](Cell& out) { text_or_none(out, build_info::os_version); }},
    {"target", [](Cell& out) { out = word::load(os::arch_name(build_info::machine).c_str()); }},
    {"build-basename",
     [](Cell& out) {
         out = file::load(reinterpret_cast<const uint8_t*>(build_info::basename),
                          uint32_t(std::strlen(build_info::basename)), string::Encoding::utf8);
     }},
    {"download-address", [](Cell& out) { text_at(out, build_info::download_address); }},
};

void build_value(Cell* args) {
    const char* name = symbol::c_name(args[0].w2);
    for (const BuildFact& fact : build_facts)
        if (std::strcmp(fact.name, name) == 0) return fact.make(args[0]);
    runtime::fire_error(runtime::Category::script, err::script::invalid_arg, &args[0]);
}

// cache-dir: the directory kiv keeps downloaded files in, ".kiv/" in the
// user's home, or none without a home. Never a shared directory such as
// /tmp, where another user could plant files.
void cache_dir(Cell* args) {
    std::string home = os::home_dir();
    if (home.empty()) {
        none::make_at(args[0]);
        return;
    }
    if (home.back() != '/') home += '/';
    std::string path = io::to_kiv_file(home) + ".kiv/";
    args[0] = file::load(reinterpret_cast<const uint8_t*>(path.data()), uint32_t(path.size()),
                         string::Encoding::utf8);
}

// command-line: the program's arguments as it was given them, the program
// first, one string each.
void command_line(Cell* args) {
    Rooted<Cell> list;
    block::make_at(*list, runtime::record.argc);
    Rooted<Cell> text;
    for (int i = 0; i < runtime::record.argc; ++i) {
        text_at(*text, runtime::record.argv[i]);
        block::append_value(*list, *text);
    }
    args[0] = *list;
}

} // namespace

void register_routines() {
    routine::register_named("error-catalog", error_catalog);
    routine::register_named("build-value", build_value);
    routine::register_named("cache-dir", cache_dir);
    routine::register_named("command-line", command_line);
}

} // namespace kiv::system_routines
