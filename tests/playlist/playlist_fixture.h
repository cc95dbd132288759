// A fresh folder per test under QUILLET_TEST_TMP, and small file helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace quillet::test {

class TempFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* base = std::getenv("QUILLET_TEST_TMP");
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        Dir = std::filesystem::path(base ? base : "/tmp") / "playlist" /
              (std::string(info->test_suite_name()) + "." + info->name());
        std::filesystem::remove_all(Dir);
        std::filesystem::create_directories(Dir);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(Dir, ec);
    }
    std::string PathOf(const std::string& name) const { return (Dir / name).string(); }
    std::string Write(const std::string& name, const std::string& content) const {
        std::ofstream(PathOf(name), std::ios::binary) << content;
        return PathOf(name);
    }
    static std::string Slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::filesystem::path Dir;
};

}  // namespace quillet::test
