#include "ini.h"

#include <utility>

#include "text.h"
#include "textfile.h"

namespace quillet {
namespace {

bool ParseHeader(std::string_view line, std::string_view& name) {
    std::string_view t = Trim(line);
    if (t.empty() || t.front() != '[') return false;
    size_t close = t.rfind(']');
    if (close == std::string_view::npos || close == 0) return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

bool ParseKey(std::string_view line, std::string_view& key, std::string_view& value) {
    std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';') return false;
    size_t eq = t.find('=');
    if (eq == std::string_view::npos) return false;
    key = Trim(t.substr(0, eq));
    if (key.empty()) return false;
    value = Trim(t.substr(eq + 1));
    return true;
}

std::string_view Unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

// As the platform copies a value into a caller's buffer of `maxChars`.
std::string Cut(std::string_view v, size_t maxChars) {
    if (maxChars == 0) return std::string(v);
    return Utf8Left(v, maxChars - 1);
}

// Built by appending: GCC 12 warns falsely (-Wrestrict) on chained "+" here.
std::string Joined(std::string_view a, char sep, std::string_view b) {
    std::string out;
    out.reserve(a.size() + 1 + b.size());
    out.append(a);
    out += sep;
    out.append(b);
    return out;
}

bool IsContent(std::string_view line) {
    return !Trim(line).empty();
}

}  // namespace

TIniFile TIniFile::FromText(std::string_view text) {
    return FromLines(SplitTextLines(text));
}

TIniFile TIniFile::FromLines(std::vector<std::string> lines) {
    TIniFile ini;
    for (auto& line : lines) ini.AddLine(std::move(line));
    for (auto& s : ini.FSections) Reindex(s);
    return ini;
}

TIniFile TIniFile::Load(const std::string& path) {
    try {
        return FromLines(ReadTextLines(path));
    } catch (const std::exception&) {
        return TIniFile();
    }
}

void TIniFile::AddLine(std::string text) {
    std::string_view name;
    if (ParseHeader(text, name)) {
        std::string lower = AsciiLower(name);
        FSectionIndex.try_emplace(std::move(lower), FSections.size());
        FSections.emplace_back().HasHeader = true;
    } else if (FSections.empty()) {
        FSections.emplace_back();
    }
    FSections.back().Lines.push_back(TLine{std::move(text)});
}

void TIniFile::Reindex(TSection& s) {
    s.Index.clear();
    s.Index.reserve(s.Lines.size());
    s.End = s.HasHeader ? 1 : 0;
    s.Dead = 0;
    // Walking backwards, each key's entry ends up at its first line and every
    // line links to the next one of the same key.
    for (size_t i = s.Lines.size(); i-- > (s.HasHeader ? 1u : 0u);) {
        TLine& l = s.Lines[i];
        l.NextSame = kNone;
        if (l.Dead) {
            ++s.Dead;
            continue;
        }
        if (s.End < i + 1 && IsContent(l.Text)) s.End = i + 1;
        std::string_view key, value;
        if (!ParseKey(l.Text, key, value)) continue;
        auto [it, added] = s.Index.try_emplace(AsciiLower(key), i);
        if (!added) {
            l.NextSame = it->second;
            it->second = i;
        }
    }
}

void TIniFile::Compact(TSection& s) {
    std::erase_if(s.Lines, [](const TLine& l) { return l.Dead; });
    Reindex(s);
}

const TIniFile::TSection* TIniFile::FindSection(std::string_view section) const {
    auto it = FSectionIndex.find(AsciiLower(Trim(section)));
    return it == FSectionIndex.end() ? nullptr : &FSections[it->second];
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view def, size_t maxChars) const {
    if (const TSection* s = FindSection(section)) {
        auto it = s->Index.find(AsciiLower(Trim(key)));
        if (it != s->Index.end()) {
            std::string_view k, value;
            ParseKey(s->Lines[it->second].Text, k, value);
            return Cut(Unquote(value), maxChars);
        }
    }
    // The platform drops trailing blanks from the default as well.
    while (!def.empty() && def.back() == ' ') def.remove_suffix(1);
    return Cut(def, maxChars);
}

bool TIniFile::SectionExists(std::string_view section) const {
    return FindSection(section) != nullptr;
}

bool TIniFile::KeyExists(std::string_view section, std::string_view key) const {
    const TSection* s = FindSection(section);
    return s && s->Index.contains(AsciiLower(Trim(key)));
}

std::vector<std::string> TIniFile::Keys(std::string_view section) const {
    std::vector<std::string> keys;
    const TSection* s = FindSection(section);
    if (!s) return keys;
    for (size_t i = 1; i < s->Lines.size(); ++i) {
        if (s->Lines[i].Dead) continue;
        std::string_view key, value;
        if (!ParseKey(s->Lines[i].Text, key, value)) continue;
        auto where = s->Index.find(AsciiLower(key));
        if (where != s->Index.end() && where->second == i) keys.emplace_back(key);
    }
    return keys;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    section = Trim(section);
    key = Trim(key);
    if (key.empty()) return;  // would make a line no reader takes as a key
    std::string lowerSection = AsciiLower(section);
    auto sit = FSectionIndex.find(lowerSection);
    if (sit == FSectionIndex.end()) {
        sit = FSectionIndex.emplace(std::move(lowerSection), FSections.size()).first;
        TSection& s = FSections.emplace_back();
        s.HasHeader = true;
        s.Lines.push_back(TLine{Joined("", '[', section) + ']'});
        s.End = 1;
    }
    TSection& s = FSections[sit->second];
    std::string lowerKey = AsciiLower(key);
    auto kit = s.Index.find(lowerKey);
    if (kit != s.Index.end()) {
        // Keep the key's spelling from the file; only the value changes.
        TLine& line = s.Lines[kit->second];
        std::string_view oldKey, oldValue;
        ParseKey(line.Text, oldKey, oldValue);
        line.Text = Joined(oldKey, '=', value);
        return;
    }
    if (s.Dead > 0) Compact(s);
    // After the section's last key, before the blank lines that separate it
    // from the next section. Only blank lines follow End, so no index shifts.
    s.Lines.insert(s.Lines.begin() + static_cast<std::ptrdiff_t>(s.End),
                   TLine{Joined(key, '=', value)});
    s.Index.emplace(std::move(lowerKey), s.End);
    ++s.End;
}

void TIniFile::DeleteKey(std::string_view section, std::string_view key) {
    auto sit = FSectionIndex.find(AsciiLower(Trim(section)));
    if (sit == FSectionIndex.end()) return;
    TSection& s = FSections[sit->second];
    auto kit = s.Index.find(AsciiLower(Trim(key)));
    if (kit == s.Index.end()) return;
    TLine& line = s.Lines[kit->second];
    line.Dead = true;
    if (line.NextSame == kNone)
        s.Index.erase(kit);
    else
        kit->second = line.NextSame;
    ++s.Dead;
    // Keep dead lines from piling up when many keys are deleted.
    if (s.Dead > 64 && s.Dead > s.Lines.size() / 2) Compact(s);
}

std::string TIniFile::Text() const {
    size_t size = 0;
    for (const auto& s : FSections)
        for (const auto& l : s.Lines) size += l.Text.size() + 2;
    std::string out;
    out.reserve(size);
    for (const auto& s : FSections)
        for (const auto& l : s.Lines) {
            if (l.Dead) continue;
            out += l.Text;
            out += "\r\n";
        }
    return out;
}

void TIniFile::Save(const std::string& path) const {
    WriteFileAtomic(path, Text());
}

}  // namespace quillet
