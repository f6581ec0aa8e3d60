// Shared fixtures: a headless host in a temporary program directory.
#pragma once

#include "host/headless/headless.h"
#include "host/host.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace test {

// Starts the headless host with the program file in a fresh temporary
// directory, which is also the current directory; removes it at the end.
class HeadlessTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Writes a file below the program directory.
    void WriteFile(const std::string& relative, const std::string& text);
    std::string ReadFile(const std::string& relative) const;
    bool Exists(const std::string& relative) const;

    std::filesystem::path dir_;
    std::filesystem::path savedCwd_;
};

}  // namespace test
