// quillet-cli tags FILE: what each tag reader finds in a file.
#include <unistd.h>

#include <cstdio>

#include "ACS_Streams.h"
#include "ACS_Tags.h"
#include "commands.h"
#include "text.h"

namespace quillet::cli {
namespace {

void Print(const char* set, const TAuTags& tags) {
    for (const auto& f : tags.ListFields()) {
        std::printf("%s.%s: ", set, f.Property.c_str());
        std::fwrite(f.Value.data(), 1, f.Value.size(), stdout);
        std::putchar('\n');
    }
}

int Tags(const std::vector<std::string>& args) {
    if (args.size() != 1) return UsageError("tags takes one file");
    TAuFileStream file(Utf8ToUtf16(args[0]), fmOpenRead | fmShareDenyWrite);
    TId3v1Tags id3v1;
    id3v1.ReadFromFile(file.Handle());
    TId3v2Tags id3v2;
    ::lseek(file.Handle(), 0, SEEK_SET);
    id3v2.ReadFromFile(file.Handle());
    TAPEv2Tags apev2;
    ReadAPEv2Tag(file, apev2);
    Print("id3v1", id3v1);
    Print("id3v2", id3v2);
    Print("apev2", apev2);
    return 0;
}

TCommand reg("tags", "tags FILE", &Tags);

}  // namespace
}  // namespace quillet::cli
