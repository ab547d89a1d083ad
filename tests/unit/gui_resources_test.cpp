#include <gtest/gtest.h>

#include "datatypes/handle.h"
#include "gui/backend/resources.h"
#include "gui/backend/text/fonts.h"
#include "gui/backend/text/shared_context.h"
#include "runtime/collector.h"
#include "runtime/externals.h"
#include "runtime/roots.h"
#include "tests/unit/fresh_globals.h"

using namespace kiv;
using namespace kiv::gui;

namespace {

class ResourceKindsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::reset_globals();
        externals::init();
        collector::hooks.mark_external = [](uint32_t index) { externals::mark(int32_t(index)); };
        collector::add_sweeper(externals::sweep);
        register_resource_kinds();
    }
    void TearDown() override {
        collector::hooks.mark_external = nullptr;
        test::release_globals();
    }
    // A font record with one reference for a value and one kept here.
    static text::Font* held_font() {
        auto* font = new text::Font;
        font->description = text::pango().font_description_new();
        return text::retain_font(font);
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

// Fonts and layouts are released without any GUI started: text is
// measured and drawn into images without one.
TEST_F(ResourceKindsTest, TheCollectorDropsTheValuesReferencesOnly) {
    ASSERT_TRUE(text::shared_context());
    text::Font* kept = held_font();
    text::Font* dropped = held_font();
    Rooted<Cell> owner;
    text::make_handle(*owner, kept);
    {
        Cell lost;
        text::make_handle(lost, dropped);
    }
    PangoLayout* layout = text::new_layout();
    g_object_ref(layout); // watched through a reference of our own
    {
        Cell lost;
        handle::make_at(lost, 1, handle::rich_text);
        lost.w3 = uint32_t(externals::store(layout, com_object_kind()));
    }
    collector::collect();
    EXPECT_EQ(kept->references, 2u);
    EXPECT_EQ(dropped->references, 1u);
    EXPECT_EQ(G_OBJECT(layout)->ref_count, 1u);
    EXPECT_EQ(text::font_of(*owner), kept);

    *owner = Cell{TYPE_NONE, 0, 0, 0};
    collector::collect();
    EXPECT_EQ(kept->references, 1u);
    text::release_font(kept);
    text::release_font(dropped);
    g_object_unref(layout);
}
