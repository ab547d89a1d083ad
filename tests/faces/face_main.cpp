// The face tests' entry: the language is started once, then the tests run
// on the headless backend.
#include <gtest/gtest.h>

#include "boot/image.h"
#include "boot/startup.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    kiv::boot::start_from_image(kiv::boot::image_data, kiv::boot::image_size);
    return RUN_ALL_TESTS();
}
