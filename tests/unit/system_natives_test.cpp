// The math natives and the text, binary, system and environment natives,
// called through the interpreter with the specs of library/natives.kiv.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "datatypes/binary.h"
#include "datatypes/file.h"
#include "datatypes/map.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/series.h"
#include "datatypes/time.h"
#include "datatypes/tuple.h"
#include "datatypes/url.h"
#include "evaluator/exits.h"
#include "evaluator/loops.h"
#include "evaluator/math_natives.h"
#include "evaluator/parse.h"
#include "evaluator/system_natives.h"
#include "interpreter_fixture.h"
#include "runtime/calendar.h"
#include "runtime/case.h"
#include "runtime/heap.h"

namespace kiv::testing {
namespace {

namespace fs = std::filesystem;

constexpr runtime::ErrorSite not_done{runtime::Category::internal, err::internal::not_done};

// The natives the tests bind, by index.
const std::set<int> bound = {8,  77, 80, 37, 40, 47, 48, 49,  50,  51,  52,  53,  54,
                             55, 56, 57, 58, 59, 60, 61, 62,  63,  64,  65,  66,  67,
                             71, 72, 73, 74, 75, 76, 84, 85,  86,  87,  89,  90,  91,
                             93, 94, 95, 96, 97, 98, 99, 100, 101, 103, 104, 105, 106};

// The `name: make native! [[spec] index]` definitions of library/natives.kiv
// for the given indexes, as one text.
std::string native_definitions(const std::set<int>& indexes) {
    const char* root = std::getenv("KIV_SOURCE_DIR");
    std::ifstream in(std::string(root ? root : "..") + "/library/natives.kiv");
    std::string line, chunk, out;
    std::regex closing(R"(^\] (\d+)\]\s*$)");
    std::smatch m;
    while (std::getline(in, line)) {
        if (line.find(": make native! [[") != std::string::npos) chunk.clear();
        chunk += line + "\n";
        if (std::regex_match(line, m, closing) && indexes.count(std::stoi(m[1]))) out += chunk;
    }
    return out;
}

class SystemNativesTest : public InterpreterTest {
  protected:
    void SetUp() override {
        InterpreterTest::SetUp();
        unicode::init_case_tables();
        url::init();
        file::init();
        time_::init();
        series::init(); // the value comparison of hash tables, for map!
        binary::init();
        map::init();
        pair::init();
        tuple::init();
        point2D::init();
        point3D::init();
        lexer::install_loaders();
        parse::init();
        math_natives::register_natives();
        system_natives::register_natives();
        natives::register_loops();
        natives::register_exits();
        // Type words of every id, built or not, for the specs to name.
        constexpr std::pair<const char*, uint32_t> unbuilt[] = {
            {"bitset!", TYPE_BITSET},   {"hash!", TYPE_HASH},     {"pair!", TYPE_PAIR},
            {"tuple!", TYPE_TUPLE},     {"map!", TYPE_MAP},       {"binary!", TYPE_BINARY},
            {"tag!", TYPE_TAG},         {"email!", TYPE_EMAIL},   {"date!", TYPE_DATE},
            {"money!", TYPE_MONEY},     {"ref!", TYPE_REF},       {"point2D!", TYPE_POINT2D},
            {"point3D!", TYPE_POINT3D}, {"url!", TYPE_URL},       {"file!", TYPE_FILE},
            {"time!", TYPE_TIME},       {"object!", TYPE_OBJECT},
        };
        for (auto [name, type] : unbuilt) {
            Cell w = word::load(name);
            Cell value;
            datatype::make_at(value, type);
            word::set(w, value);
        }
        run("number!: make typeset! [integer! float! percent!] "
            "any-string!: make typeset! [string! file! url! tag! email! ref!] "
            "any-list!: make typeset! [block! paren! hash!] "
            "any-path!: make typeset! [path! lit-path! set-path! get-path!] "
            "any-block!: make typeset! [block! paren! hash! path! lit-path! set-path! get-path!] "
            "any-word!: make typeset! [word! set-word! lit-word! get-word!] "
            "any-point!: make typeset! [point2D! point3D!] "
            "any-function!: make typeset! [native! action! op! function! routine!] "
            "series!: make typeset! [block! paren! hash! path! lit-path! set-path! get-path! "
            "string! file! url! tag! email! ref! binary!] "
            "scalar!: make typeset! [char! integer! float! pair! percent! tuple! time! date! "
            "money! point2D! point3D!] "
            "any-object!: make typeset! [object!]");
        run(native_definitions(bound));
    }
    void TearDown() override {
        parse::release();
        InterpreterTest::TearDown();
    }

    // The error raised, category and id.
    runtime::ErrorSite site_of(const std::string& text) {
        if (error_of(text) < 0) return {runtime::Category::user, 0};
        return runtime::last_error;
    }
    static constexpr runtime::ErrorSite script(uint32_t id) {
        return {runtime::Category::script, id};
    }

    Cell value_of(const char* name) { return *word::value_cell(word::load(name)); }
};

struct Case {
    const char* code;
    const char* molded;
};

TEST_F(SystemNativesTest, MathResults) {
    const Case cases[] = {
        {"shift/left 1 32", "0"},
        {"shift/left 3 4", "48"},
        {"shift -8 40", "-1"},
        {"shift 8 40", "0"},
        {"shift -8 2", "-2"},
        {"shift/logical -8 28", "15"},
        {"shift/logical -8 32", "0"},
        {"shift 8 -3", "8"},
        {"to-hex 255", "#000000FF"},
        {"to-hex -1", "#FFFFFFFF"},
        {"to-hex/size 255 2", "#FF"},
        {"to-hex/size 255 20", "#000000FF"},
        {"sine 180", "0.0"},
        {"sine 90", "1.0"},
        {"sine -270", "1.0"},
        {"cosine 90", "0.0"},
        {"cosine 180", "-1.0"},
        {"cosine/radians 0", "1.0"},
        {"arcsine 1", "90.0"},
        {"arccosine 1", "0.0"},
        {"arctangent 1", "45.0"},
        {"arctangent2 1 1", "45.0"},
        {"arctangent2 1 -1", "135.0"},
        {"arctangent2 -1 0", "-90.0"},
        {"log-10 1000", "3.0"},
        {"log-2 8", "3.0"},
        {"log-e 1", "0.0"},
        {"exp 0", "1.0"},
        {"square-root 16", "4.0"},
        {"square-root 2.25", "1.5"},
        {"NaN? square-root -1", "true"},
        {"NaN? log-e -1", "true"},
        {"NaN? 1.5", "false"},
        {"negative? -1", "true"},
        {"negative? 0", "false"},
        {"positive? 0.5", "true"},
        {"sign? -5", "-1"},
        {"sign? 0", "0"},
        {"sign? 2.5", "1"},
        {"zero? 0", "true"},
        {"zero? 0.0", "true"},
        {"zero? 3", "false"},
        {"zero? 0:00", "true"},
        {"zero? #\"^@\"", "true"},
        {"zero? #\"a\"", "false"},
        {"negative? -1:00", "true"},
        {"sign? 0:00:01", "1"},
        {"positive? -5%", "false"},
        {"square-root 400%", "2.0"},
        {"max 1 2", "2"},
        {"min 1 2", "1"},
        {"max 2.5 1", "2.5"},
        {"min 3 1.5", "1.5"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.code), c.molded) << c.code;
}

TEST_F(SystemNativesTest, MathEdgeValues) {
    // tangent at ±90 degrees is infinite, not a huge residue.
    run("t: tangent 90");
    EXPECT_EQ(float_::get(value_of("t")), std::numeric_limits<double>::infinity());
    run("t: tangent -90");
    EXPECT_EQ(float_::get(value_of("t")), -std::numeric_limits<double>::infinity());
    run("t: arcsine/radians 1");
    EXPECT_DOUBLE_EQ(float_::get(value_of("t")), std::numbers::pi / 2);
    run("t: arctangent2/radians 0 -1");
    EXPECT_DOUBLE_EQ(float_::get(value_of("t")), std::numbers::pi);
    // Logarithms outside their domain give what the C library gives.
    run("t: log-10 0");
    EXPECT_EQ(float_::get(value_of("t")), -std::numeric_limits<double>::infinity());
    run("t: log-2 -1");
    EXPECT_TRUE(std::isnan(float_::get(value_of("t"))));
    // A not-a-number wins in max and min, from either side.
    run("t: min 1.5 square-root -1");
    EXPECT_TRUE(std::isnan(float_::get(value_of("t"))));
    run("t: max square-root -1 7");
    EXPECT_TRUE(std::isnan(float_::get(value_of("t"))));
}

TEST_F(SystemNativesTest, MathErrors) {
    EXPECT_EQ(site_of("to-hex/size 255 0"), script(err::script::invalid_arg));
    EXPECT_EQ(site_of("as-pair 1 square-root -1"), script(err::script::invalid_arg));
    EXPECT_EQ(site_of("as-pair 1e10 2"), script(err::script::type_limit));
    EXPECT_EQ(run("as-pair 1.9 -1.9"), "1x-1");
    EXPECT_EQ(run("as-point3D 1 2.5 3"), "(1, 2.5, 3)");
    // A word that is no currency.
    EXPECT_EQ(site_of("as-money 'XYZ 1"), script(err::script::bad_denom));
}

TEST_F(SystemNativesTest, ParseThroughTheNative) {
    const Case cases[] = {
        {"parse \"abc\" [\"abc\"]", "true"},
        {"parse \"abc\" [\"ab\"]", "false"},
        {"parse \"ABC\" [\"abc\"]", "true"},
        {"parse/case \"ABC\" [\"abc\"]", "false"},
        {"parse/part \"abcdef\" [\"abc\"] 3", "true"},
        {"parse/part \"abcdef\" [\"abc\"] 3.0", "true"},
        {"parse/part \"abc\" [] 0", "false"},
        {"parse/part \"\" [] -2", "true"},
        {"parse [1 2 3] [some integer!]", "true"},
        {"parse [1 x] [some integer!]", "false"},
        {"parse [1 x] [integer! word!]", "true"},
        {"parse [1 2] [collect [some keep integer!]]", "[1 2]"},
        {"n: 0 parse \"aaa\" [some [\"a\" (n: n + 1)]] n", "3"},
        {"p: none parse [1 2] [integer! p: integer!] p", "[2]"},
        {"r: [\"a\" \"b\"] parse \"ab\" [r]", "true"},
        {"parse [1] [collect [keep (10) integer!]]", "[10]"},
        {"parse [1] [if (1 < 2) integer!]", "true"},
        {"parse [1] [if (2 < 1) integer!]", "false"},
        {"x: none parse \"a\" [\"a\" (x: parse [b] [word!])] x", "true"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.code), c.molded) << c.code;
    EXPECT_EQ(site_of("parse/part \"abc\" [\"abc\"] \"zz\""),
              script(err::script::invalid_refine_arg));
    EXPECT_EQ(site_of("parse [1] [keep integer!]"), script(err::script::parse_keep));
    EXPECT_EQ(site_of("parse \"a\" [string!]"), script(err::script::parse_unsupported));
}

TEST_F(SystemNativesTest, ParseWorkingSeriesSurviveCollectionsFromStartUp) {
    // Every allocation collects: the first working series must be kept
    // while the second is made, and both while rules are matched.
    parse::release();
    memory::collect_always = true;
    parse::init();
    std::string matched = run("parse [1 [2 3] 4] [integer! into [some integer!] integer!]");
    memory::collect_always = false;
    EXPECT_EQ(matched, "true");
}

TEST_F(SystemNativesTest, ParsePartByPositionInTheInput) {
    run("s: \"abcdef\"");
    // A position of the input: the same series at another index.
    Cell e = value_of("s");
    e.w1 = 3;
    Cell name = word::load("e");
    word::set(name, e);
    EXPECT_EQ(run("parse/part s [\"abc\"] e"), "true");
    EXPECT_EQ(run("parse/part s [\"abcd\"] e"), "false");
}

TEST_F(SystemNativesTest, BreakAndReturnFromAParenPassThroughParse) {
    EXPECT_EQ(run("n: 0 loop 2 [n: n + 1 parse \"a\" [\"a\" (break)] n: 100] n"), "1");
    EXPECT_EQ(run("n: 0 loop 2 [n: n + 1 parse \"a\" [\"a\" (n: n + 10)]] n"), "22");
    EXPECT_EQ(run("f: make function! [[] [parse \"a\" [(return 5)] 7]] f"), "5");
    // The native left no frame behind.
    EXPECT_EQ(run("1 + 1"), "2");
}

TEST_F(SystemNativesTest, ParseTraceCallbackStops) {
    run("calls: 0 stop: make function! [[e m r i s] [calls: calls + 1 false]] "
        "go: make function! [[e m r i s] [calls: calls + 1 true]]");
    EXPECT_EQ(run("parse/trace \"ab\" [\"a\" \"b\"] :stop"), "true");
    EXPECT_EQ(run("calls"), "1");
    EXPECT_EQ(run("calls: 0 parse/trace \"ab\" [\"a\" \"b\"] :go"), "true");
    EXPECT_GT(std::stoi(run("calls")), 3);
    // The arguments arrive as they are: the event word, and a paren! input
    // unevaluated.
    run("seen: none note: make function! [[e m r i s] [seen: i true]] pp: [1 2]");
    Cell pp = word::load("pp");
    Cell paren = *word::value_cell(pp);
    cell::set_type(paren, TYPE_PAREN);
    word::set(pp, paren);
    EXPECT_EQ(run("parse/trace pp [integer! integer!] :note"), "true");
    EXPECT_EQ(cell::type_of(value_of("seen")), TYPE_PAREN);
    run("first-event: none first: make function! [[e m r i s] [first-event: e false]]");
    run("parse/trace \"a\" [\"a\"] :first");
    EXPECT_EQ(run("first-event"), "push");
}

TEST_F(SystemNativesTest, TranscodeForms) {
    const Case cases[] = {
        {"transcode \"1 [a b] c\"", "[1 [a b] c]"},
        {"transcode \"\"", "[]"},
        {"transcode/one \"7 8\"", "7"},
        {"transcode/next \"7 8\"", "[7 \" 8\"]"},
        {"transcode/part \"12 34\" 2", "[12]"},
        {"transcode/part \"12\" 10", "[12]"},
        {"transcode/scan \"abc\"", "word!"},
        {"transcode/scan \"12\"", "integer!"},
        {"b: [0] transcode/into \"1 2\" b b", "[0 1 2]"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.code), c.molded) << c.code;
    EXPECT_EQ(site_of("transcode \"[1\""),
              (runtime::ErrorSite{runtime::Category::syntax, err::syntax::missing}));
}

TEST_F(SystemNativesTest, DehexAndEnhexRoundTrip) {
    const Case cases[] = {
        {"dehex \"a%20b\"", "\"a b\""},
        {"dehex \"%41%4a\"", "\"AJ\""},
        {"dehex \"100%\"", "\"100%\""},
        {"enhex \"a b\"", "\"a%20b\""},
        {"enhex \"50%\"", "\"50%25\""},
        {"dehex enhex \"x y%z<>\"", "\"x y%z<>\""},
        {"dehex enhex \"caf\\u00e9\"", "\"caf\\u00e9\""},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.code), c.molded) << c.code;
    EXPECT_EQ(run("enhex \"é\""), "\"%C3%A9\"");
    EXPECT_EQ(run("dehex \"%C3%A9\""), run("\"é\""));
    // The argument is not changed.
    EXPECT_EQ(run("s: \"a%20b\" dehex s s"), "\"a%20b\"");
}

TEST_F(SystemNativesTest, Environment) {
    EXPECT_EQ(run("set-env \"KIV_SYSNATIVES_T\" \"one two\""), "\"one two\"");
    EXPECT_EQ(run("get-env \"KIV_SYSNATIVES_T\""), "\"one two\"");
    EXPECT_EQ(std::string(std::getenv("KIV_SYSNATIVES_T")), "one two");
    EXPECT_EQ(run("get-env 'KIV_SYSNATIVES_T"), "\"one two\"");
    std::string listed = run("list-env");
    EXPECT_NE(listed.find("\"KIV_SYSNATIVES_T\" \"one two\""), std::string::npos);
    EXPECT_EQ(run("set-env 'KIV_SYSNATIVES_T none"), "none");
    EXPECT_EQ(run("get-env \"KIV_SYSNATIVES_T\""), "none");
    EXPECT_EQ(std::getenv("KIV_SYSNATIVES_T"), nullptr);
    // A name the environment refuses is an error, not a silent no-op.
    EXPECT_EQ(site_of("set-env \"A=B\" \"x\""), script(err::script::invalid_arg));
}

TEST_F(SystemNativesTest, NowFields) {
    time_t t = ::time(nullptr);
    tm local{};
    localtime_r(&t, &local);
    EXPECT_EQ(run("now/year"), std::to_string(local.tm_year + 1900));
    EXPECT_EQ(run("now/month"), std::to_string(local.tm_mon + 1));
    EXPECT_EQ(run("now/yearday"), std::to_string(local.tm_yday + 1));
    EXPECT_EQ(run("now/weekday"), std::to_string(local.tm_wday == 0 ? 7 : local.tm_wday));
    run("z: now/zone tm: now/time tu: now/time/utc tp: now/time/precise");
    EXPECT_EQ(cell::type_of(value_of("z")), TYPE_TIME);
    EXPECT_DOUBLE_EQ(cell::get_float(value_of("z")), double(local.tm_gmtoff));
    EXPECT_EQ(cell::type_of(value_of("tm")), TYPE_TIME);
    double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
    EXPECT_NEAR(cell::get_float(value_of("tm")), seconds, 2.0);
    double utc = std::fmod(cell::get_float(value_of("tu")) + double(local.tm_gmtoff), 86400.0);
    EXPECT_NEAR(utc, seconds, 2.0);
    EXPECT_EQ(cell::type_of(value_of("tp")), TYPE_TIME);
    EXPECT_EQ(run("now/zone/utc"), "0:00:00");
    EXPECT_EQ(site_of("now/year/month"), script(err::script::bad_refines));
    EXPECT_EQ(site_of("now/time/zone"), script(err::script::bad_refines));
    run("d: now dd: now/date du: now/utc 0");
    EXPECT_EQ(cell::type_of(value_of("d")), TYPE_DATE);
    EXPECT_TRUE(calendar::has_time(value_of("d").w1));
    EXPECT_FALSE(calendar::has_time(value_of("dd").w1));
    EXPECT_EQ(value_of("du").w1 & calendar::zone_mask, 0u);
}

// now/zone against the system's own answer (date +%z), in zones of
// quarter and half hours and with a half-hour daylight saving shift; TZ is
// changed through set-env, so the clock must read it again.
TEST_F(SystemNativesTest, NowZoneFollowsTz) {
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    for (const char* zone : {"Asia/Kathmandu", "America/St_Johns", "Australia/Lord_Howe", "UTC"}) {
        run(std::string("set-env \"TZ\" \"") + zone + "\" 0");
        FILE* pipe = ::popen("date +%z", "r");
        ASSERT_NE(pipe, nullptr);
        char text[16] = {};
        ASSERT_NE(std::fgets(text, sizeof text, pipe), nullptr);
        ::pclose(pipe);
        // +hhmm as a time! text: h:mm:00, signed when west.
        int hours = (text[1] - '0') * 10 + (text[2] - '0');
        std::string expected =
            (text[0] == '-' && (hours || text[3] != '0' || text[4] != '0') ? "-" : "") +
            std::to_string(hours) + ":" + text[3] + text[4] + ":00";
        EXPECT_EQ(run("now/zone"), expected) << zone;
    }
    if (old)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

TEST_F(SystemNativesTest, NewLineFlags) {
    auto flags = [&](const char* name) {
        std::string out;
        Cell b = value_of(name);
        for (Cell* c = block::rs_head(b); c < block::rs_tail(b); ++c)
            out += (c->header & cell::new_line_flag) ? '1' : '0';
        return out;
    };
    run("b: [1 2 3 4 5] new-line b true");
    EXPECT_EQ(flags("b"), "10000");
    EXPECT_EQ(run("new-line? b"), "true");
    run("new-line/skip b true 2");
    EXPECT_EQ(flags("b"), "10101");
    run("new-line/skip b false 2");
    EXPECT_EQ(flags("b"), "01010");
    run("new-line/all b false");
    EXPECT_EQ(flags("b"), "00000");
    run("new-line/all b true");
    EXPECT_EQ(flags("b"), "11111");
    EXPECT_EQ(run("new-line? []"), "false");
    EXPECT_EQ(site_of("new-line/skip b true 0"), script(err::script::out_of_range));
}

TEST_F(SystemNativesTest, AsBetweenTypesOfOneClass) {
    const Case cases[] = {
        {"as file! \"a/b\"", "%a/b"},
        {"as string! %x", "\"x\""},
        {"as url! \"http://a.b\"", "http://a.b"},
        {"as paren! [1 2]", "(1 2)"},
        {"as %example \"z\"", "%z"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.code), c.molded) << c.code;
    // Nothing is copied.
    run("s: \"ab\" f: as file! s");
    EXPECT_EQ(value_of("s").w2, value_of("f").w2);
    EXPECT_EQ(site_of("as block! \"x\""), script(err::script::not_same_class));
    EXPECT_EQ(site_of("as string! [x]"), script(err::script::not_same_class));
}

TEST_F(SystemNativesTest, CaseChanges) {
    EXPECT_EQ(run("uppercase \"abc\""), "\"ABC\"");
    EXPECT_EQ(run("lowercase/part \"ABC\" 2"), "\"abC\"");
    EXPECT_EQ(run("s: \"xy\" uppercase s s"), "\"XY\"");
    EXPECT_EQ(run("uppercase #\"a\""), "#\"A\"");
}

TEST_F(SystemNativesTest, FilesAndWaiting) {
    EXPECT_EQ(run("to-local-file %a/b"), "\"a/b\"");
    EXPECT_EQ(run("to-local-file \"a/b\""), "\"a/b\"");
    std::string full = run("to-local-file/full %a/b");
    EXPECT_EQ(full, "\"" + fs::current_path().string() + "/a/b\"");
    fs::path file = fs::temp_directory_path() / ("kiv-size-" + std::to_string(::getpid()));
    std::ofstream(file) << "12345";
    EXPECT_EQ(run("size? %" + file.string()), "5");
    EXPECT_EQ(run("checksum %" + file.string() + " 'crc32"), "-873121252");
    fs::remove(file);
    EXPECT_EQ(run("size? %" + file.string()), "none");
    EXPECT_EQ(site_of("checksum %" + file.string() + " 'crc32"),
              (runtime::ErrorSite{runtime::Category::access, err::access::cannot_open}));
    EXPECT_EQ(run("size? %" + fs::temp_directory_path().string() + "/"), "none");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run("wait 0.05"), "none");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(45));
    EXPECT_EQ(run("wait none"), "none");
}

TEST_F(SystemNativesTest, CollectorAndStatistics) {
    EXPECT_EQ(run("recycle/off"), "unset");
    EXPECT_FALSE(collector::active);
    EXPECT_EQ(run("recycle/on"), "unset");
    EXPECT_TRUE(collector::active);
    uint32_t before = memory::record.collections;
    EXPECT_EQ(run("b: [1 \"two\" [3]] n: recycle b"), "[1 \"two\" [3]]");
    EXPECT_GT(memory::record.collections, before);
    EXPECT_EQ(cell::type_of(value_of("n")), TYPE_INTEGER);
    EXPECT_GT(integer::get(value_of("n")), 0);
    EXPECT_EQ(run("b"), "[1 \"two\" [3]]");
    run("s: stats i: stats/info");
    EXPECT_GT(integer::get(value_of("s")), 0);
    Cell info = value_of("i");
    ASSERT_EQ(block::rs_length(info), 5);
    Cell* fields = block::rs_head(info);
    EXPECT_EQ(cell::type_of(fields[0]), TYPE_BLOCK);
    EXPECT_GE(block::rs_length(fields[0]), 1);
    Cell* node_frame = block::rs_head(fields[0]);
    EXPECT_TRUE(node_frame->header & cell::new_line_flag);
    // free + used = total for the first node frame.
    Cell* counts = block::rs_head(*node_frame);
    EXPECT_EQ(integer::get(counts[0]) + integer::get(counts[1]), integer::get(counts[2]));
    EXPECT_EQ(cell::type_of(fields[1]), TYPE_BLOCK);
    EXPECT_EQ(cell::type_of(fields[2]), TYPE_BLOCK);
    EXPECT_GT(integer::get(fields[3]), integer::get(value_of("s")));
    EXPECT_EQ(integer::get(fields[4]), int32_t(heap::total_bytes()));
}

// ------------------------------------------------------------------- call

// A folder made for one test and removed with all it holds.
struct ScratchDir {
    fs::path path;
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "kiv-call-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~ScratchDir() { fs::remove_all(path); }
    std::string file(const char* name) const { return "%" + (path / name).string(); }
};

std::string read_whole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST_F(SystemNativesTest, CallExitCodes) {
    struct Case {
        const char* code;
        const char* result;
    };
    const Case cases[] = {
        {"call/wait \"true\"", "0"},
        {"call/wait \"false\"", "1"},
        // Not a program: tried again through the shell.
        {"call/wait \"exit 7\"", "7"},
        {"call/wait/shell \"exit 3\"", "3"},
        // Ended by a signal: 128 + the signal.
        {"call/wait/shell \"kill -9 $$\"", "137"},
        // The shell's own answer for a program it cannot find either.
        {"e: \"\" call/wait/error \"kiv-no-such-program-x\" e", "127"},
        {"call/wait %/bin/false", "1"},
        // Quotes group a word; nothing is expanded.
        {"o: \"\" call/wait/output {printf '%s|' \"a b\" $HOME} o o", "\"a b|$HOME|\""},
        {"call/wait/input \"cat\" %/kiv-no-such-input-file", "-1"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.code), c.result) << c.code;
    EXPECT_EQ(site_of("call/console \"true\""), not_done);
}

// A NUL would cut the command or an argument short and run another
// command: nothing is run.
TEST_F(SystemNativesTest, CallRefusesANul) {
    ScratchDir dir;
    std::string marker = (dir.path / "ran").string();
    for (std::string code :
         {"call/wait {touch " + marker + "^@ x}", "call/wait/shell {touch " + marker + " ^@x}",
          "call/wait {touch x^@ " + marker + "}", "call {touch " + marker + "^@}"})
        EXPECT_EQ(site_of(code), script(err::script::invalid_arg)) << code;
    EXPECT_FALSE(fs::exists(marker));
}

TEST_F(SystemNativesTest, CallCapturesAndFeeds) {
    ScratchDir dir;
    std::string out = dir.file("out.txt");
    std::ofstream(dir.path / "in.txt") << "from a file";
    struct Case {
        std::string code;
        const char* result;
    };
    const Case cases[] = {
        // Captured text is appended to what the string holds.
        {"o: \"x\" call/wait/output \"echo hi\" o o", "\"xhi^/\""},
        {"o: #{FF} call/wait/output \"printf abc\" o o", "#{FF616263}"},
        {"e: \"\" call/wait/shell/error \"echo oops >&2\" e e", "\"oops^/\""},
        {"o: \"\" call/wait/input/output \"cat\" \"héllo\" o o", "\"h<233>llo\""},
        {"o: #{} call/wait/input/output \"cat\" #{00FF0A} o o", "#{00FF0A}"},
        {"o: \"\" call/wait/input/output \"cat\" %" + (dir.path / "in.txt").string() + " o o",
         "\"from a file\""},
        // A character whose bytes arrive in two reads decodes whole.
        {"o: \"\" call/wait/shell/output {printf '\\303'; sleep 0.2; printf '\\251'} o o",
         "\"<233>\""},
        // Without /input the child reads nothing.
        {"o: \"\" call/wait/output \"cat\" o o", "\"\""},
        // Without /wait: the process id, once the output is drained.
        {"o: \"\" p: call/output \"echo done\" o o", "\"done^/\""},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.code), c.result) << c.code;
    // A file target is created, then appended to.
    run("call/wait/shell/output \"printf one\" " + out);
    run("call/wait/shell/output \"printf two\" " + out);
    EXPECT_EQ(read_whole(dir.path / "out.txt"), "onetwo");
}

TEST_F(SystemNativesTest, CallStreamsLargeData) {
    // 20 MB each way through cat.
    run("big: #{} call/wait/output \"head -c 20000000 /dev/urandom\" big");
    ASSERT_EQ(binary::length(value_of("big")), 20000000u);
    EXPECT_EQ(run("back: #{} call/wait/input/output \"cat\" big back"), "0");
    Cell big = value_of("big");
    Cell back = value_of("back");
    ASSERT_EQ(binary::length(back), 20000000u);
    EXPECT_EQ(std::memcmp(binary::head_ptr(big), binary::head_ptr(back), 20000000), 0);
    // 5 MB to each stream: neither may stall the other.
    EXPECT_EQ(run("o: #{} e: #{} call/wait/shell/output/error "
                  "{head -c 5000000 /dev/zero; head -c 5000000 /dev/zero >&2} o e"),
              "0");
    EXPECT_EQ(binary::length(value_of("o")), 5000000u);
    EXPECT_EQ(binary::length(value_of("e")), 5000000u);
    // A child that writes all its output before reading its input.
    EXPECT_EQ(run("o: #{} call/wait/shell/input/output {head -c 3000000 /dev/zero; cat >/dev/null} "
                  "big o"),
              "0");
    EXPECT_EQ(binary::length(value_of("o")), 3000000u);
    // A child that ends without reading its input: no SIGPIPE, no hang.
    EXPECT_EQ(run("call/wait/input \"true\" big"), "0");
    EXPECT_EQ(run("call/wait/shell/input {head -c 10 >/dev/null; exit 4} big"), "4");
}

TEST_F(SystemNativesTest, CallWithoutWaitLeavesNoZombie) {
    std::string pid = run("call \"true\"");
    ASSERT_GT(std::stoi(pid), 0);
    // The child is reaped once it ends: its process entry goes away.
    fs::path entry = fs::path("/proc") / pid;
    for (int i = 0; i < 500 && fs::exists(entry); ++i) usleep(10000);
    EXPECT_FALSE(fs::exists(entry));
}

TEST_F(SystemNativesTest, ServicesNotBuiltYet) {
    EXPECT_EQ(site_of("debase/base \"x\" 10"), script(err::script::invalid_arg));
    EXPECT_EQ(site_of("enbase/base \"x\" 3"), script(err::script::invalid_arg));
    EXPECT_EQ(site_of("checksum \"abc\" 'nope"), script(err::script::invalid_arg));
    EXPECT_EQ(site_of("checksum/with \"abc\" 'crc32 \"k\""),
              script(err::script::invalid_refine_arg));
    EXPECT_EQ(site_of("checksum/with \"abc\" 'md5 1"), script(err::script::invalid_refine_arg));
    EXPECT_EQ(site_of("checksum \"abc\" 'hash"), not_done);
    EXPECT_EQ(site_of("compress \"abc\" 'zip"), script(err::script::invalid_arg));
}

} // namespace
} // namespace kiv::testing
