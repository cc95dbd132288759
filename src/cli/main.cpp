// quillet-cli: headless decoding, inspection and playback with the player's
// own inputs and output.
#include <cstdio>
#include <exception>
#include <map>
#include <string>
#include <vector>

#include "commands.h"
#include "text.h"

namespace quillet::cli {
namespace {
struct Entry {
    const char* usage;
    TCommandFn fn;
};
std::map<std::string, Entry>& Registry() {
    static std::map<std::string, Entry> r;
    return r;
}
}  // namespace

TCommand::TCommand(const char* name, const char* usage, TCommandFn fn) {
    Registry()[name] = {usage, fn};
}

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "usage:\n");
    for (const auto& [name, e] : Registry()) std::fprintf(out, "  quillet-cli %s\n", e.usage);
}

int UsageError(const std::string& message) {
    if (!message.empty())
        std::fprintf(stderr, "quillet-cli: %s\n", quillet::EscapeControls(message).c_str());
    PrintUsage(stderr);
    return 2;
}

}  // namespace quillet::cli

int main(int argc, char** argv) {
    using namespace quillet::cli;
    if (argc < 2) return UsageError();
    // Asked for, the usage is an answer, not an error.
    if (const std::string first = argv[1]; first == "--help" || first == "-h" || first == "help") {
        PrintUsage(stdout);
        return 0;
    }
    auto it = Registry().find(argv[1]);
    if (it == Registry().end()) return UsageError(std::string("unknown command: ") + argv[1]);
    try {
        return it->second.fn(std::vector<std::string>(argv + 2, argv + argc));
    } catch (const std::exception& e) {
        // Errors quote files and servers: a name or a reason may carry controls.
        std::fprintf(stderr, "%s\n", quillet::EscapeControls(e.what()).c_str());
        return 1;
    }
}
