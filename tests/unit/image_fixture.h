// A fresh collector and externals table with the image layer registered:
// what tests of image buffers start from. Tearing down collects and
// checks that every grid the test made was released.
#pragma once

#include <gtest/gtest.h>

#include "datatypes/image_layer.h"
#include "runtime/collector.h"
#include "runtime/externals.h"
#include "tests/unit/fresh_globals.h"

namespace kiv::test {

class ImageLayerFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_globals();
        externals::init();
        collector::add_sweeper(externals::sweep);
        image::pressure = {};
        image::init_layer();
    }
    void TearDown() override {
        held.clear();
        collector::collect();
        EXPECT_EQ(image::pressure.live, 0u);
        release_globals();
    }
};

} // namespace kiv::test
