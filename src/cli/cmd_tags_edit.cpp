// quillet-cli tags FILE... --set KEY=VALUE ... --remove KEY: writes the
// same change into every file (tag_editor.h says what each format gets).
// A key given twice with --set gets both values. Exit status 1 when any
// file was not written (each named on stderr), 2 for a bad command line.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "tag_editor.h"
#include "text.h"

namespace quillet::cli {

bool IsTagEdit(const std::vector<std::string>& args) {
    for (const std::string& a : args)
        if (a == "--set" || a == "--remove") return true;
    return false;
}

int EditTags(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    TTagChanges changes;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a != "--set" && a != "--remove") {
            files.push_back(a);
            continue;
        }
        if (i + 1 >= args.size()) return UsageError(a + " needs a value");
        const std::string& item = args[++i];
        const size_t eq = a == "--set" ? item.find('=') : item.size();
        if (eq == std::string::npos) return UsageError("--set takes KEY=VALUE");
        const std::optional<TTagKey> key = TagKeyFromName(item.substr(0, eq));
        if (!key) return UsageError("unknown tag key: " + item.substr(0, eq));
        auto& field = changes.Fields[static_cast<size_t>(*key)];
        if (!field) field.emplace();
        // "--set title=" takes the field away, as --remove does.
        if (a == "--set" && eq + 1 < item.size()) field->push_back(item.substr(eq + 1));
    }
    if (files.empty()) return UsageError("tags needs a file");
    const std::unique_ptr<TTagEditor> editor = CreateFileTagEditor();
    int status = 0;
    for (const std::string& file : files) {
        const TTagSnapshot snap = editor->Read(file);
        std::string error = !snap.Error.empty() ? snap.Error : snap.NotWritable;
        if (error.empty()) error = editor->Write(file, snap.Stamp, changes).Error;
        if (!error.empty()) {
            std::fprintf(stderr, "%s: %s\n", EscapeControls(file).c_str(),
                         EscapeControls(error).c_str());
            status = 1;
        }
    }
    return status;
}

}  // namespace quillet::cli
