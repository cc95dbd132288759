// The main() of every test program: the environment the tests expect (no
// sound card, no display) and a scratch folder of its own. ctest runs each
// test as its own process, several at once, so the folder is per process:
// fixtures written under fixed names cannot collide.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const char* base = std::getenv("QUILLET_TEST_TMP");
    const std::filesystem::path scratch =
        std::filesystem::path(base && *base ? base : QUILLET_TEST_TMP_DEFAULT) /
        std::to_string(getpid());
    std::filesystem::create_directories(scratch);
    setenv("QUILLET_TEST_TMP", scratch.c_str(), 1);
    // The player measures untagged files it plays: never into the user's cache.
    setenv("XDG_CACHE_HOME", (scratch / "cache").c_str(), 1);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    return result;
}
