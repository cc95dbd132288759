// quillet-cli's commands. Each command file registers itself with a static
// TCommand, so the tool holds exactly the commands whose parts are built.
#pragma once

#include <string>
#include <vector>

namespace quillet::cli {

// Exit codes: 0 success, 1 the component's error (message on stderr),
// 2 usage error.
using TCommandFn = int (*)(const std::vector<std::string>& args);

struct TCommand {
    TCommand(const char* name, const char* usage, TCommandFn fn);
};

// Prints the usage of all commands to stderr and returns 2.
int UsageError(const std::string& message = {});

}  // namespace quillet::cli
