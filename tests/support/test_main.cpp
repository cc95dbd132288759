// The main() of every test program: the environment the tests expect (no
// sound card, no display, a scratch folder), unless the caller set it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QUILLET_TEST_TMP", QUILLET_TEST_TMP_DEFAULT, 0);
    mkdir(std::getenv("QUILLET_TEST_TMP"), 0755);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
