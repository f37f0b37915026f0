// Test helper: writes numbered string values into one key of a hive, one registry write per
// value, as another program would.
//   registry_writer_helper HIVEFILE KEY PREFIX FIRST COUNT [report]
// writes PREFIX<i> = "value <i>" for i = FIRST .. FIRST+COUNT-1; with "report" it prints each i
// on standard output once its write has returned.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "platform/registry.h"

using namespace plenova::platform;

int main(int argc, char** argv) {
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "usage: registry_writer_helper HIVEFILE KEY PREFIX FIRST COUNT [report]\n");
        return 2;
    }
    const std::string hive = argv[1];
    Registry reg(hive, hive + ".machine");
    const long first = std::atol(argv[4]);
    const long count = std::atol(argv[5]);
    const bool report = argc == 7;
    try {
        for (long i = first; i < first + count; ++i) {
            reg.SetString(Hive::CurrentUser, argv[2], argv[3] + std::to_string(i), "value " + std::to_string(i));
            if (report) {
                std::printf("%ld\n", i);
                std::fflush(stdout);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "registry_writer_helper: %s\n", e.what());
        return 1;
    }
    return 0;
}
