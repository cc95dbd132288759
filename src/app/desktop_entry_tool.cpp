// Build step: writes the desktop entry from its template, with "{MIME_TYPES}"
// replaced by the types the player opens.
//   quillet_desktop_entry TEMPLATE OUTPUT
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "mime_types.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: quillet_desktop_entry TEMPLATE OUTPUT\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in) {
        std::cerr << "cannot read " << argv[1] << '\n';
        return 1;
    }
    std::string types;
    for (const std::string& type : quillet::SupportedMimeTypes()) types += type + ';';
    std::string entry = text.str();
    const std::string marker = "{MIME_TYPES}";
    for (size_t at; (at = entry.find(marker)) != std::string::npos;)
        entry.replace(at, marker.size(), types);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << entry;
    out.close();
    if (!out) {
        std::cerr << "cannot write " << argv[2] << '\n';
        return 1;
    }
    return 0;
}
