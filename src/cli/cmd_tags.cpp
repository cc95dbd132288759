// quillet-cli tags FILE: every tag set a file has, as each tag reader finds
// it: ID3v1, ID3v2 and APEv2 in any file, and the Vorbis comments of FLAC and
// Ogg files (read by their inputs, when built).
#include <unistd.h>

#include <cstdio>

#include "ACS_Streams.h"
#include "ACS_Tags.h"
#include "commands.h"
#include "text.h"
#ifdef QUILLET_CLI_MEDIA
#include "input_table.h"
#include "media_common.h"
#endif

namespace quillet::cli {

// cmd_tags_edit.cpp: the --set/--remove form.
bool IsTagEdit(const std::vector<std::string>& args);
int EditTags(const std::vector<std::string>& args);

namespace {

void Print(const char* set, const TAuTags& tags) {
    for (const auto& f : tags.ListFields()) {
        std::printf("%s.%s: %s\n", set, EscapeControls(f.Property).c_str(),
                    EscapeControls(f.Value).c_str());
    }
}

int Tags(const std::vector<std::string>& args) {
    if (IsTagEdit(args)) return EditTags(args);
    if (args.size() != 1) return UsageError("tags takes one file");
    // By the name's bytes: it need not be valid UTF-8.
    TAuFileStream file(args[0], fmOpenRead | fmShareDenyWrite);
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
#ifdef QUILLET_CLI_MEDIA
    const auto kind = FindInputKind(args[0]);
    if (kind == TInputKind::ikFLAC || kind == TInputKind::ikVorbis) {
        Owned<TAuFileIn> input = OpenInput(args[0]);
        input->IsValid();  // opens it: the comments are read with the headers
        std::fflush(stdout);
        PrintInputTags(*input, true);
    }
#endif
    return 0;
}

TCommand tagsCmd("tags", "tags FILE | tags FILE... [--set KEY=VALUE]... [--remove KEY]...", &Tags);

}  // namespace
}  // namespace quillet::cli
