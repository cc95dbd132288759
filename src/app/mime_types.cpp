#include "mime_types.h"

#include <algorithm>

#include "input_table.h"

namespace quillet {
namespace {

struct TMimeRow {
    std::string_view Extension;
    std::string_view Type;
};

// The types the desktop's shared MIME database gives these extensions. Rows
// for extensions not in the input table are simply unused until an input
// plays them.
constexpr TMimeRow kAudioTypes[] = {
    {".mp3", "audio/mpeg"},        {".mp3", "audio/x-mp3"},        {".mp2", "audio/mpeg"},
    {".ogg", "audio/ogg"},         {".ogg", "audio/x-vorbis+ogg"}, {".oga", "audio/ogg"},
    {".opus", "audio/x-opus+ogg"}, {".opus", "audio/ogg"},         {".flac", "audio/flac"},
    {".flac", "audio/x-flac"},     {".wma", "audio/x-ms-wma"},     {".wav", "audio/x-wav"},
    {".wav", "audio/wav"},         {".wav", "audio/vnd.wave"},     {".mpc", "audio/x-musepack"},
    {".mpp", "audio/x-musepack"},  {".mp+", "audio/x-musepack"},   {".m4a", "audio/mp4"},
    {".m4a", "audio/x-m4a"},       {".aac", "audio/aac"},          {".ape", "audio/x-ape"},
    {".wv", "audio/x-wavpack"},    {".aif", "audio/x-aiff"},       {".aiff", "audio/x-aiff"},
    {".au", "audio/basic"},        {".mka", "audio/x-matroska"},   {".ac3", "audio/ac3"},
    {".tta", "audio/x-tta"},       {".spx", "audio/x-speex+ogg"},  {".m4b", "audio/x-m4b"},
    {".mp4", "audio/mp4"},         {".alac", "audio/mp4"},         {".aifc", "audio/x-aifc"},
    {".mpa", "audio/mpeg"},        {".caf", "audio/x-caf"},        {".w64", "audio/x-w64"},
    {".snd", "audio/basic"},       {".dsf", "audio/x-dsf"},        {".mp1", "audio/mpeg"},
};

constexpr TMimeRow kPlaylistTypes[] = {
    {".m3u", "audio/x-mpegurl"}, {".m3u", "audio/mpegurl"},     {".pls", "audio/x-scpls"},
    {".asx", "audio/x-ms-asx"},  {".cue", "application/x-cue"},
};

void AddOnce(std::vector<std::string>& list, std::string_view type) {
    if (std::find(list.begin(), list.end(), type) == list.end()) list.emplace_back(type);
}

}  // namespace

std::vector<std::string_view> MimeTypesOfExtension(std::string_view extension) {
    std::vector<std::string_view> types;
    for (const TMimeRow& row : kAudioTypes)
        if (row.Extension == extension) types.push_back(row.Type);
    for (const TMimeRow& row : kPlaylistTypes)
        if (row.Extension == extension) types.push_back(row.Type);
    return types;
}

std::vector<std::string> SupportedMimeTypes() {
    std::vector<std::string> types;
    for (const std::string& extension : PlayableExtensions())
        for (const TMimeRow& row : kAudioTypes)
            if (row.Extension == extension) AddOnce(types, row.Type);
    for (const TMimeRow& row : kPlaylistTypes) AddOnce(types, row.Type);
    return types;
}

std::vector<std::string_view> PlaylistMimeExtensions() {
    std::vector<std::string_view> extensions;
    for (const TMimeRow& row : kPlaylistTypes)
        if (std::find(extensions.begin(), extensions.end(), row.Extension) == extensions.end())
            extensions.push_back(row.Extension);
    return extensions;
}

}  // namespace quillet
