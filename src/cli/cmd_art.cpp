// quillet-cli art: the album art the player shows for a track, as one line:
// "embedded MIME BYTES", "file PATH" or "none"; -o writes an embedded
// picture's bytes to a file.
#include <cstdio>
#include <string>
#include <vector>

#include "album_art.h"
#include "commands.h"
#include "ffmpeg_picture.h"
#include "text.h"

namespace quillet::cli {
namespace {

int Art(const std::vector<std::string>& args) {
    std::string track, out;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size())
            out = args[++i];
        else if (track.empty())
            track = args[i];
        else
            return UsageError("art takes one track");
    }
    if (track.empty()) return UsageError("art needs a track");
    const TAlbumArt art = FindAlbumArt(track, OfferAttachedPictures);
    if (art.Embedded) {
        std::printf("embedded %s %zu\n", EscapeControls(art.Embedded->MimeType).c_str(),
                    art.Embedded->Data.size());
        if (!out.empty()) {
            const auto& d = art.Embedded->Data;
            FILE* f = std::fopen(out.c_str(), "wb");
            const bool written = f && std::fwrite(d.data(), 1, d.size(), f) == d.size();
            if (!(f && std::fclose(f) == 0 && written)) {
                std::fprintf(stderr, "%s: cannot be written\n", EscapeControls(out).c_str());
                return 1;
            }
        }
    } else if (!art.ImagePath.empty()) {
        std::printf("file %s\n", EscapeControls(art.ImagePath).c_str());
    } else {
        std::printf("none\n");
    }
    return 0;
}

TCommand artCmd("art", "art TRACK [-o FILE]", &Art);

}  // namespace
}  // namespace quillet::cli
