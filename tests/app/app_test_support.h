// Shared set-up of the window tests: one application object for the whole
// run, a fresh folder per test (the program folder and the working
// directory), message boxes recorded instead of shown.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "app_errors.h"

namespace quillet::test {

struct RecordedBox {
    TMessageKind Kind;
    QString Caption;
    QString Text;
};

// Serves Qt's event loop (and so the main-thread call queue) until `cond`
// holds or `timeoutMs` passes; returns whether it held.
bool WaitFor(const std::function<bool()>& cond, int timeoutMs = 10000);

class AppTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a file (path relative to Dir, or absolute).
    void WriteFile(const std::string& path, const std::string& content);

    std::string Dir;         // this test's folder (also the working directory), with "/"
    std::string ProgramDir;  // Dir + "prog/": holds lang/ and the About dialog's lang.cfg
    std::vector<RecordedBox> Boxes;

  private:
    std::string FOldCwd;
};

}  // namespace quillet::test
