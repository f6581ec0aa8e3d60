#include "test_support.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace test {

void HeadlessTest::SetUp() {
    savedCwd_ = std::filesystem::current_path();
    char pattern[] = "/tmp/morvanel-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::filesystem::current_path(dir_);
    unsetenv("MORVANEL_BOXES");
    unsetenv("MORVANEL_FRAMES");
    unsetenv("MORVANEL_INPUT");
    unsetenv("MORVANEL_DRIVES");
    unsetenv("MORVANEL_REGISTRY");
    unsetenv("MORVANEL_AUDIO");
    host::headless::Reset();
    host::headless::SetModuleFileName(host::ToSystemPath((dir_ / "game-test").string()));
    ASSERT_TRUE(host::Start(host::BackendKind::Headless, nullptr));
    host::headless::Reset();
    host::headless::SetModuleFileName(host::ToSystemPath((dir_ / "game-test").string()));
    host::MapDrive('C', dir_.string(), host::DRIVE_FIXED);
    host::SetRegistryFile((dir_ / "registry.ini").string());
}

void HeadlessTest::TearDown() {
    host::Stop();
    std::filesystem::current_path(savedCwd_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

void HeadlessTest::WriteFile(const std::string& relative, const std::string& text) {
    std::filesystem::path p = dir_ / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

std::string HeadlessTest::ReadFile(const std::string& relative) const {
    std::ifstream in(dir_ / relative, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool HeadlessTest::Exists(const std::string& relative) const {
    return std::filesystem::exists(dir_ / relative);
}

}  // namespace test
