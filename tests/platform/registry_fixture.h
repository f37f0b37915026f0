// The fixture of the registry's tests: a fresh machine in a temporary folder, its registry, and
// the hives that a damaged file was moved aside to.
#pragma once

#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "platform/machine.h"
#include "platform/registry.h"
#include "tests/support/temp_folder.h"

namespace plenova::testing {

class RegistryFixture : public ::testing::Test {
protected:
    TempFolder temp;
    platform::Machine machine{temp.Path()};
    platform::Registry reg{machine};
    std::filesystem::path user = machine.UserHivePath();

    // The copies of the user hive that were moved aside as damaged.
    std::vector<std::filesystem::path> AsideFiles() const {
        std::vector<std::filesystem::path> out;
        for (const auto& e : std::filesystem::directory_iterator(temp.Path()))
            if (e.path().filename().string().starts_with("user.reg.damaged-"))
                out.push_back(e.path());
        return out;
    }
};

}  // namespace plenova::testing
