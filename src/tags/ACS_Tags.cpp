// The tag container: typed values, the sorted field list, copies by name.
#include "ACS_Tags.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <optional>

#include "tags_internal.h"
#include "text.h"

namespace quillet {

TTagValue TTagValue::Integer(int64_t value, TIntType type) {
    TTagValue v;
    v.FKind = TKind::Integer;
    v.FIntType = type;
    switch (type) {
        case TIntType::Int8:
            v.FInt = static_cast<int8_t>(value);
            break;
        case TIntType::UInt8:
            v.FInt = static_cast<uint8_t>(value);
            break;
        case TIntType::Int16:
            v.FInt = static_cast<int16_t>(value);
            break;
        case TIntType::UInt16:
            v.FInt = static_cast<uint16_t>(value);
            break;
        case TIntType::Int32:
            v.FInt = static_cast<int32_t>(value);
            break;
        case TIntType::UInt32:
            v.FInt = static_cast<uint32_t>(value);
            break;
    }
    return v;
}

TTagValue TTagValue::Narrow(std::string text) {
    TTagValue v;
    v.FKind = TKind::Narrow;
    v.FNarrow = std::move(text);
    return v;
}

TTagValue TTagValue::Wide(std::u16string text) {
    TTagValue v;
    v.FKind = TKind::Wide;
    v.FWide = std::move(text);
    return v;
}

bool TTagValue::operator==(const TTagValue& o) const {
    if (FKind != o.FKind) return false;
    switch (FKind) {
        case TKind::Empty:
            return true;
        case TKind::Integer:
            return FIntType == o.FIntType && FInt == o.FInt;
        case TKind::Narrow:
            return FNarrow == o.FNarrow;
        case TKind::Wide:
            return FWide == o.FWide;
    }
    return false;
}

namespace tags_detail {

std::optional<int32_t> ParseInt32(std::string_view s) {
    return ParseWholeNumber<int32_t>(s, true);
}

std::string ValueAsString(const TTagValue& v) {
    switch (v.Kind()) {
        case TTagValue::TKind::Integer:
            return std::to_string(v.AsInt());
        case TTagValue::TKind::Narrow:
            return v.NarrowText();
        case TTagValue::TKind::Wide:
            return Utf16ToUtf8(v.WideText());
        case TTagValue::TKind::Empty:
            break;
    }
    return {};
}

}  // namespace tags_detail

using tags_detail::ParseInt32;
using tags_detail::ValueAsString;

namespace {

std::optional<int32_t> TextAsNumber(const TTagValue& v) {
    return ParseInt32(v.Kind() == TTagValue::TKind::Wide ? Utf16ToUtf8(v.WideText())
                                                         : v.NarrowText());
}

bool SameValue(const TTagValue& a, const TTagValue& b) {
    using K = TTagValue::TKind;
    if (a.IsEmpty() || b.IsEmpty()) return a.IsEmpty() && b.IsEmpty();
    if (a.Kind() == K::Integer && b.Kind() == K::Integer) return a.AsInt() == b.AsInt();
    if (a.Kind() == K::Integer || b.Kind() == K::Integer) {
        const TTagValue& num = a.Kind() == K::Integer ? a : b;
        const TTagValue& text = a.Kind() == K::Integer ? b : a;
        auto n = TextAsNumber(text);
        return n && *n == num.AsInt();
    }
    if (a.Kind() == b.Kind()) {
        return a.Kind() == K::Narrow ? a.NarrowText() == b.NarrowText()
                                     : a.WideText() == b.WideText();
    }
    const TTagValue& narrow = a.Kind() == K::Narrow ? a : b;
    const TTagValue& wide = a.Kind() == K::Narrow ? b : a;
    return Utf8ToUtf16(narrow.NarrowText()) == wide.WideText();
}

[[noreturn]] void AssignError(const char* source, const char* dest) {
    char text[256];
    std::snprintf(text, sizeof text, "Cannot assign a %s to a %s", source, dest);
    throw EConvertError(text);
}

}  // namespace

int TAuTags::IndexOf(std::string_view name) const {
    auto it = std::lower_bound(
        FFields.begin(), FFields.end(), name,
        [](const TTagValueInfo& f, std::string_view n) { return CompareTextAscii(f.Name, n) < 0; });
    if (it == FFields.end() || CompareTextAscii(it->Name, name) != 0) return -1;
    return static_cast<int>(it - FFields.begin());
}

std::string TAuTags::NameAt(int index) const {
    if (index < 0 || index >= Count()) return {};
    return FFields[index].Name;
}

TTagValue TAuTags::GetValue(std::string_view name) const {
    int i = IndexOf(name);
    return i < 0 ? TTagValue() : FFields[i].Value;
}

void TAuTags::SetValue(std::string_view name, const TTagValue& value) {
    int i = IndexOf(name);
    if (i < 0 || SameValue(FFields[i].Value, value)) return;
    FFields[i].Value = value;
    FEmpty = false;
    FChanged = true;
}

int32_t TAuTags::GetAsInteger(std::string_view name) const {
    TTagValue v = GetValue(name);
    switch (v.Kind()) {
        case TTagValue::TKind::Integer:
            return static_cast<int32_t>(v.AsInt());
        case TTagValue::TKind::Narrow:
        case TTagValue::TKind::Wide:
            return TextAsNumber(v).value_or(0);
        case TTagValue::TKind::Empty:
            break;
    }
    return 0;
}

std::string TAuTags::GetAsString(std::string_view name) const {
    return ValueAsString(GetValue(name));
}

std::u16string TAuTags::GetAsWideString(std::string_view name) const {
    TTagValue v = GetValue(name);
    if (v.Kind() == TTagValue::TKind::Wide) return v.WideText();
    return Utf8ToUtf16(ValueAsString(v));
}

bool TAuTags::AddField(std::string_view name, const TTagValue& initial) {
    if (name.empty()) return false;
    auto it = std::lower_bound(
        FFields.begin(), FFields.end(), name,
        [](const TTagValueInfo& f, std::string_view n) { return CompareTextAscii(f.Name, n) < 0; });
    if (it != FFields.end() && CompareTextAscii(it->Name, name) == 0) return true;
    FFields.insert(it, TTagValueInfo{std::string(name), initial});
    return true;
}

void TAuTags::Clear() {
    for (auto& f : FFields) f.Value = TTagValue();
    FEmpty = true;
    FChanged = true;
}

void TAuTags::CopyValuesFrom(const TComponent* source) {
    auto* src = dynamic_cast<const TAuTags*>(source);
    if (!src) AssignError(source ? source->ClassName() : "nil", ClassName());
    if (src == this) return;  // clearing first would lose the values
    Clear();
    for (const auto& f : src->FFields) SetValue(f.Name, f.Value);
}

void TAuTags::CopyValuesTo(TComponent* dest) const {
    auto* dst = dynamic_cast<TAuTags*>(dest);
    if (!dst) AssignError(ClassName(), dest ? dest->ClassName() : "nil");
    dst->CopyValuesFrom(this);
}

bool TAuTags::HasTag(THandle handle) {
    return handle >= 0;
}

bool TAuTags::ReadFromFile(THandle handle) {
    if (handle < 0) return false;
    Clear();
    return true;
}

bool TAuTags::WriteToFile(THandle handle, bool /*unicode*/) {
    return handle >= 0;
}

std::vector<TTagFieldText> TAuTags::ListFields() const {
    std::vector<TTagFieldText> out;
    for (const auto& f : FFields)
        if (std::string text = ValueAsString(f.Value); !text.empty())
            out.push_back({f.Name, std::move(text)});
    return out;
}

namespace tags_detail {

std::vector<TTagFieldText> ListProperties(const TAuTags& tags, const TPropertyRow* rows,
                                          size_t count) {
    std::vector<TTagFieldText> out;
    for (size_t i = 0; i < count; ++i) {
        std::string text = ValueAsString(tags.GetValue(rows[i].Field));
        if (!text.empty()) out.push_back({rows[i].Property, std::move(text)});
    }
    return out;
}

}  // namespace tags_detail

}  // namespace quillet

// ---------------------------------------------------------------------------
// Descriptor I/O shared by the file operations.

namespace quillet::tags_detail {

size_t ReadAll(int fd, void* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::read(fd, static_cast<char*>(buffer) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

size_t PReadAll(int fd, void* buffer, size_t count, int64_t offset) {
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(fd, static_cast<char*>(buffer) + done, count - done,
                            static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

int FailNthWrite = 0;
size_t MoveChunk = size_t{1} << 20;

size_t PWriteAll(int fd, const void* buffer, size_t count, int64_t offset) {
    if (FailNthWrite > 0 && --FailNthWrite == 0) {
        size_t half = PWriteAll(fd, buffer, count / 2, offset);
        errno = EIO;
        return half;
    }
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pwrite(fd, static_cast<const char*>(buffer) + done, count - done,
                             static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

}  // namespace quillet::tags_detail
