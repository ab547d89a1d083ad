#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "datatypes/handle.h"
#include "gui/backend/headless.h"
#include "gui/backend/resources.h"
#include "gui/backend/window_layer.h"
#include "runtime/collector.h"
#include "runtime/externals.h"
#include "runtime/roots.h"
#include "tests/unit/fresh_globals.h"

using namespace kiv;
using namespace kiv::gui;

namespace {

// Every release the backend was asked for, as (what, pointer).
std::vector<std::pair<char, void*>> released;

class RecordingBackend : public HeadlessBackend {
  public:
    void release_font(void* font) override { released.emplace_back('f', font); }
    void release_object(void* object) override { released.emplace_back('o', object); }
};

void* pointer(uintptr_t n) {
    return reinterpret_cast<void*>(n * 16);
}

class ResourceKindsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::reset_globals();
        externals::init();
        collector::hooks.mark_external = [](uint32_t index) { externals::mark(int32_t(index)); };
        collector::add_sweeper(externals::sweep);
        released.clear();
        layer_start(std::make_unique<RecordingBackend>());
        register_resource_kinds();
    }
    void TearDown() override {
        layer_stop();
        collector::hooks.mark_external = nullptr;
        test::release_globals();
    }
    // A handle! owning `p` under `kind`, as the drawing code makes them.
    static Cell owner(void* p, uint32_t kind) {
        Cell c;
        handle::make_at(c, 1, handle::font);
        c.w3 = uint32_t(externals::store(p, kind));
        return c;
    }
};

} // namespace

TEST_F(ResourceKindsTest, RegisteredOncePerTableUnderTheirNames) {
    ASSERT_NE(font_kind(), 0u);
    ASSERT_NE(com_object_kind(), 0u);
    EXPECT_NE(font_kind(), com_object_kind());
    EXPECT_STREQ(externals::table.kinds[font_kind() - 1].name, "font");
    EXPECT_STREQ(externals::table.kinds[com_object_kind() - 1].name, "com-object");
    uint32_t count = externals::table.kind_count;
    register_resource_kinds(); // a second GUI start takes no new slots
    EXPECT_EQ(externals::table.kind_count, count);
}

TEST_F(ResourceKindsTest, TheCollectorReleasesUnreferencedOwnersThroughTheBackend) {
    Rooted<Cell> kept_font(owner(pointer(1), font_kind()));
    Rooted<Cell> kept_object(owner(pointer(2), com_object_kind()));
    owner(pointer(3), font_kind());       // dropped at once
    owner(pointer(4), com_object_kind()); // dropped at once
    collector::collect();
    using Log = std::vector<std::pair<char, void*>>;
    EXPECT_EQ(released, (Log{{'o', pointer(4)}, {'f', pointer(3)}}));

    *kept_font = Cell{TYPE_NONE, 0, 0, 0};
    collector::collect();
    EXPECT_EQ(released.back(), std::make_pair('f', pointer(1)));
    *kept_object = Cell{TYPE_NONE, 0, 0, 0};
    collector::collect();
    EXPECT_EQ(released.back(), std::make_pair('o', pointer(2)));
    EXPECT_EQ(released.size(), 4u);
}

TEST_F(ResourceKindsTest, NothingIsReleasedOnceTheLayerHasStopped) {
    owner(pointer(5), font_kind());
    layer_stop();
    collector::collect();
    EXPECT_TRUE(released.empty());
}
