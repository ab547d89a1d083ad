// The entry of the kiv executable.
#include "runtime/entry.h"

int main(int argc, char** argv) {
    kiv::runtime::os_init(argc, argv);
    kiv::runtime::run([] {});
}
