#include "platform/registry_format.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "base/text.h"
#include "base/utf8.h"

namespace plenova::platform {

namespace registry_format {

namespace {

// ----- text helpers --------------------------------------------------------------------------

bool HasControl(std::string_view s, bool allowTab) {
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && !(allowTab && c == '\t')) || c == 0x7F) return true;
    }
    return false;
}

// Blanks around the parts of a hive line: tabs and spaces before, and after them also the
// carriage return of a file written on Windows.
constexpr std::string_view kLeadBlanks = " \t";
constexpr std::string_view kTrailBlanks = " \t\r";

bool ValidComponents(const std::vector<std::string>& parts) {
    for (const std::string& p : parts)
        if (p.empty() || HasControl(p, false) || !IsValidUtf8(p)) return false;
    return true;
}

// Limits as Windows has them. Lengths count UTF-16 units, as Windows counts characters.
constexpr std::size_t kMaxKeyDepth = 512;
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;

// `s` is valid UTF-8: every lead byte is one unit, a four-byte sequence two.
std::size_t Utf16Length(std::string_view s) {
    std::size_t n = 0;
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c & 0xC0) != 0x80) n += c >= 0xF0 ? 2 : 1;
    }
    return n;
}

// What in a key path goes beyond the limits ("a key path of 600 levels (at most 512)"); none
// when it keeps within them.
template <class Parts>
std::optional<std::string> KeyBeyondLimits(const Parts& parts) {
    if (parts.size() > kMaxKeyDepth)
        return "a key path of " + std::to_string(parts.size()) + " levels (at most " +
               std::to_string(kMaxKeyDepth) + ")";
    for (const auto& p : parts) {
        const std::size_t length = Utf16Length(p);
        if (length > kMaxKeyNameLength)
            return "a key name of " + std::to_string(length) + " characters (at most " +
                   std::to_string(kMaxKeyNameLength) + ")";
    }
    return std::nullopt;
}

std::optional<std::string> ValueNameBeyondLimits(std::string_view name) {
    const std::size_t length = Utf16Length(name);
    if (length <= kMaxValueNameLength) return std::nullopt;
    return "a value name of " + std::to_string(length) + " characters (at most " +
           std::to_string(kMaxValueNameLength) + ")";
}

std::string Quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

// A quoted .reg string starting at s[pos] == '"'; only \\ and \" are escapes. On success `pos`
// is just past the closing quote.
std::optional<std::string> Unquote(std::string_view s, std::size_t& pos) {
    if (pos >= s.size() || s[pos] != '"') return std::nullopt;
    std::string out;
    for (std::size_t i = pos + 1; i < s.size(); ++i) {
        if (s[i] == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) return std::nullopt;
            out.push_back(s[++i]);
        } else if (s[i] == '"') {
            pos = i + 1;
            return out;
        } else {
            out.push_back(s[i]);
        }
    }
    return std::nullopt;
}

// UTF-8 to UTF-16LE bytes with the terminating NUL, as hex(1): writes them.
std::string EncodeHex1(std::string_view text) {
    std::vector<unsigned> units;
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Char c = DecodeUtf8(text, i);
        i += c.length;
        char32_t cp = c.codePoint;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            units.push_back(0xD800 + (cp >> 10));
            units.push_back(0xDC00 + (cp & 0x3FF));
        } else {
            units.push_back(cp);
        }
    }
    units.push_back(0);
    std::string out = "hex(1):";
    char buf[8];
    bool first = true;
    for (unsigned u : units) {
        std::snprintf(buf, sizeof buf, "%s%02x,%02x", first ? "" : ",", u & 0xFF, (u >> 8) & 0xFF);
        out += buf;
        first = false;
    }
    return out;
}

// The bytes of a hex(1): value (continuation backslashes and blanks already allowed) as a
// string; none when they are not UTF-16LE text.
std::optional<std::string> DecodeHex1(std::string_view data) {
    std::vector<unsigned char> bytes;
    std::size_t i = 0;
    while (i < data.size()) {
        const char c = data[i];
        if (c == ',' || c == ' ' || c == '\t' || c == '\\' || c == '\n' || c == '\r') {
            ++i;
            continue;
        }
        if (i + 1 >= data.size() || HexDigitValue(c) < 0 || HexDigitValue(data[i + 1]) < 0)
            return std::nullopt;
        bytes.push_back(
            static_cast<unsigned char>(HexDigitValue(c) * 16 + HexDigitValue(data[i + 1])));
        i += 2;
        if (i < data.size() && HexDigitValue(data[i]) >= 0) return std::nullopt;  // three digits
    }
    if (bytes.size() % 2 != 0) return std::nullopt;
    std::vector<char32_t> units;
    for (std::size_t k = 0; k < bytes.size(); k += 2)
        units.push_back(bytes[k] | (bytes[k + 1] << 8));
    if (!units.empty() && units.back() == 0) units.pop_back();
    std::string out;
    for (std::size_t k = 0; k < units.size(); ++k) {
        char32_t u = units[k];
        if (u == 0) return std::nullopt;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (k + 1 >= units.size() || units[k + 1] < 0xDC00 || units[k + 1] > 0xDFFF)
                return std::nullopt;
            u = 0x10000 + ((u - 0xD800) << 10) + (units[++k] - 0xDC00);
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return std::nullopt;
        }
        AppendUtf8(out, u);
    }
    return out;
}

// ----- names without regard to letter case ---------------------------------------------------

bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Hash and equality of names without regard to letter case. ASCII names, nearly all of them,
// are compared without making folded copies; the hash is that of FoldCase(s) either way.
std::uint64_t FoldedHash(std::string_view s) {
    std::uint64_t h = 1469598103934665603ull;
    if (IsAscii(s)) {
        for (char c : s) h = (h ^ static_cast<unsigned char>(LowerAscii(c))) * 1099511628211ull;
    } else {
        for (char c : plenova::FoldCase(s))
            h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    // Every bit of the result depends on every character: the index uses the low bits for
    // the slot and the high ones as a tag, and names often differ only at their end.
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return h;
}

bool FoldedEqual(std::string_view a, std::string_view b) {
    if (IsAscii(a) && IsAscii(b)) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
        return true;
    }
    return FoldCase(a) == FoldCase(b);
}

}  // namespace

// Positions in a long list (subkeys or values) by folded name, so that finding one costs the
// same among millions as among ten. Open addressing with linear probing, at most three
// quarters full. A slot holds 8 bits of the name's hash and the position + 1 (0: free), so a
// probe looks at a name only when those bits match. `nameAt(position)` gives the name there.
class NameIndex {
public:
    // Lists are limited by the hive's size limit to far fewer items than this.
    static constexpr std::size_t kMaxItems = (1u << 24) - 2;

    explicit NameIndex(std::size_t expected = 0) { Resize(SlotsFor(expected)); }

    template <class NameAt>
    std::optional<std::size_t> Find(std::string_view name, NameAt nameAt) const {
        const std::uint64_t h = FoldedHash(name);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t s = h & mask; slots_[s] != 0; s = (s + 1) & mask) {
            if ((slots_[s] >> 24) == Tag(h) && FoldedEqual(nameAt(Position(slots_[s])), name))
                return Position(slots_[s]);
        }
        return std::nullopt;
    }

    // `name` leads to `position` from now on, also when an equal name led elsewhere.
    template <class NameAt>
    void Put(std::string_view name, std::size_t position, NameAt nameAt) {
        if (position > kMaxItems)
            throw RegistryError("a registry key cannot hold that many subkeys or values");
        if ((used_ + 1) * 4 > slots_.size() * 3) Grow(nameAt);
        const std::uint64_t h = FoldedHash(name);
        const std::size_t mask = slots_.size() - 1;
        const std::uint32_t slot = (Tag(h) << 24) | static_cast<std::uint32_t>(position + 1);
        std::size_t s = h & mask;
        for (; slots_[s] != 0; s = (s + 1) & mask) {
            if ((slots_[s] >> 24) == Tag(h) && FoldedEqual(nameAt(Position(slots_[s])), name)) {
                slots_[s] = slot;
                return;
            }
        }
        slots_[s] = slot;
        ++used_;
    }

private:
    static std::uint32_t Tag(std::uint64_t hash) { return static_cast<std::uint32_t>(hash >> 56); }
    static std::size_t Position(std::uint32_t slot) { return (slot & 0xFFFFFF) - 1; }
    static std::size_t SlotsFor(std::size_t items) {
        std::size_t n = 16;
        while (n * 3 < items * 4 + 4) n *= 2;
        return n;
    }
    void Resize(std::size_t n) { slots_.assign(n, 0); }

    template <class NameAt>
    void Grow(NameAt nameAt) {
        std::vector<std::uint32_t> old(slots_.size() * 2, 0);
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (std::uint32_t slot : old) {
            if (slot == 0) continue;
            std::size_t s = FoldedHash(nameAt(Position(slot))) & mask;
            while (slots_[s] != 0) s = (s + 1) & mask;
            slots_[s] = slot;
        }
    }

    std::vector<std::uint32_t> slots_;
    std::size_t used_ = 0;
};

namespace {

// Lists shorter than this are searched from end to end.
constexpr std::size_t kIndexFrom = 8;

}  // namespace

// ----- the key tree --------------------------------------------------------------------------

Key::Key() = default;
Key::~Key() = default;
Key::Key(Key&&) noexcept = default;
Key& Key::operator=(Key&&) noexcept = default;

Key* Key::Child(std::string_view childName) const {
    if (childIndex) {
        const auto at = childIndex->Find(
            childName, [this](std::size_t i) { return std::string_view(children[i]->name); });
        return at ? children[*at] : nullptr;
    }
    for (Key* c : children)
        if (FoldedEqual(c->name, childName)) return c;
    return nullptr;
}

void Key::LinkChild(Key* child) {
    children.push_back(child);
    if (childIndex)
        childIndex->Put(child->name, children.size() - 1,
                        [this](std::size_t i) { return std::string_view(children[i]->name); });
    else if (children.size() >= kIndexFrom)
        ReindexChildren();
}

bool Key::UnlinkChild(std::string_view childName) {
    const auto n =
        std::erase_if(children, [&](const Key* c) { return FoldedEqual(c->name, childName); });
    if (n > 0) ReindexChildren();
    return n > 0;
}

void Key::ReindexChildren() {
    childIndex.reset();
    if (children.size() < kIndexFrom) return;
    childIndex = std::make_unique<NameIndex>(children.size());
    for (std::size_t i = 0; i < children.size(); ++i)
        childIndex->Put(children[i]->name, i,
                        [this](std::size_t k) { return std::string_view(children[k]->name); });
}

std::ptrdiff_t Key::ValueIndex(std::string_view valueName) const {
    if (valueIndex) {
        const auto at =
            valueIndex->Find(valueName, [this](std::size_t i) { return entries[i].Name(); });
        return at ? static_cast<std::ptrdiff_t>(*at) : -1;
    }
    for (std::size_t i = entries.size(); i-- > 0;)
        if (entries[i].isValue && FoldedEqual(entries[i].Name(), valueName))
            return static_cast<std::ptrdiff_t>(i);
    return -1;
}

void Key::Reserve(std::size_t more) {
    const std::size_t total = entries.size() + more;
    if (total <= entries.capacity()) return;
    // A key whose header comes back again and again still grows geometrically.
    entries.reserve(std::max(total, entries.capacity() * 2));
    if (total >= kIndexFrom) ReindexValues(total);
}

void Key::AddEntry(Entry e) {
    entries.push_back(std::move(e));
    if (!entries.back().isValue) return;
    if (valueIndex)
        valueIndex->Put(entries.back().Name(), entries.size() - 1,
                        [this](std::size_t i) { return entries[i].Name(); });
    else if (entries.size() >= kIndexFrom)
        ReindexValues();
}

bool Key::RemoveValue(std::string_view valueName) {
    const bool removed = std::erase_if(entries, [&](const Entry& e) {
                             return e.isValue && FoldedEqual(e.Name(), valueName);
                         }) > 0;
    if (removed) ReindexValues();
    return removed;
}

void Key::ReindexValues(std::size_t expected) {
    valueIndex.reset();
    if (entries.size() < kIndexFrom && expected < kIndexFrom) return;
    valueIndex = std::make_unique<NameIndex>(std::max(expected, entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].isValue)
            valueIndex->Put(entries[i].Name(), i,
                            [this](std::size_t k) { return entries[k].Name(); });
}

// ----- reading -------------------------------------------------------------------------------

namespace {

bool IsHeaderLine(std::string_view line) {
    std::string_view t =
        TrimView(TrimView(line, kLeadBlanks, TrimEnds::Left), kTrailBlanks, TrimEnds::Right);
    return t.size() >= 2 && t.front() == '[' && t.back() == ']';
}

// The line that starts at text[pos], without its line end; `next` is where the next one starts.
std::string_view LineAt(std::string_view text, std::size_t pos, std::size_t& next) {
    const std::size_t nl = text.find('\n', pos);
    const std::size_t end = nl == std::string_view::npos ? text.size() : nl;
    next = nl == std::string_view::npos ? text.size() : nl + 1;
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

struct ParsedValue {
    RegistryValue value;
    std::string raw;      // kind Other: the lines as read, joined by "\n"
    std::size_t end = 0;  // where the line after the value starts
};

// Parses the value line starting at text[pos] (plus its continuation lines for unquoted data).
// None when the line is no well-formed value line.
std::optional<ParsedValue> ParseValue(std::string_view text, std::size_t pos) {
    std::size_t next = 0;
    const std::string_view first = LineAt(text, pos, next);
    std::string_view line = TrimView(first, kLeadBlanks, TrimEnds::Left);
    ParsedValue v;
    std::size_t at = 0;
    if (!line.empty() && line[0] == '@') {
        at = 1;
    } else if (!line.empty() && line[0] == '"') {
        auto name = Unquote(line, at);
        if (!name) return std::nullopt;
        v.value.name = std::move(*name);
    } else {
        return std::nullopt;
    }
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    if (at >= line.size() || line[at] != '=') return std::nullopt;
    ++at;
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    std::string_view data = line.substr(at);

    if (!data.empty() && data[0] == '"') {
        std::size_t p = 0;
        auto str = Unquote(data, p);
        if (!str || !TrimView(data.substr(p), kTrailBlanks, TrimEnds::Right).empty())
            return std::nullopt;
        v.value.kind = ValueKind::String;
        v.value.text = std::move(*str);
        v.end = next;
        return v;
    }
    // Unquoted data may go on over lines ending in "\".
    std::string joined(TrimView(data, kTrailBlanks, TrimEnds::Right));
    std::string raw(first);
    std::string_view last = first;
    bool continued = false;
    while (next < text.size()) {
        const std::string_view lastData = TrimView(last, kTrailBlanks, TrimEnds::Right);
        if (lastData.empty() || lastData.back() != '\\') break;
        std::size_t after = 0;
        const std::string_view following = LineAt(text, next, after);
        // A blank line ends the key's values, as the one written after them does.
        if (IsHeaderLine(following) || TrimView(following, kTrailBlanks, TrimEnds::Right).empty())
            break;
        joined += "\n";
        joined += TrimView(following, kTrailBlanks, TrimEnds::Right);
        raw += "\n";
        raw += following;
        last = following;
        next = after;
        continued = true;
    }
    v.end = next;
    std::string_view td = TrimView(data, kTrailBlanks, TrimEnds::Right);
    if (!continued && FoldAscii(td.substr(0, 6)) == "dword:" && td.size() > 6 && td.size() <= 14) {
        std::uint32_t n = 0;
        bool ok = true;
        for (char c : td.substr(6)) {
            const int d = HexDigitValue(c);
            if (d < 0) ok = false;
            n = (n << 4) | static_cast<std::uint32_t>(d < 0 ? 0 : d);
        }
        if (ok) {
            v.value.kind = ValueKind::Dword;
            v.value.dword = n;
            return v;
        }
    }
    if (FoldAscii(td.substr(0, 7)) == "hex(1):") {
        if (auto str = DecodeHex1(std::string_view(joined).substr(7))) {
            v.value.kind = ValueKind::String;
            v.value.text = std::move(*str);
            return v;
        }
    }
    v.value.kind = ValueKind::Other;
    v.value.text = std::move(joined);
    v.raw = std::move(raw);
    return v;
}

Entry EntryOf(ParsedValue v) {
    Entry e;
    e.isValue = true;
    e.kind = v.value.kind;
    e.dword = v.value.dword;
    e.verbatim = e.kind == ValueKind::Other;
    e.Set(v.value.name, e.verbatim ? v.raw : v.value.text);
    return e;
}

// Content that breaks the limits; the hive is then damaged as a whole.
struct HiveDamage {
    std::string what;
};

std::vector<std::string_view> SplitKeyView(std::string_view key) {
    std::vector<std::string_view> out;
    for (std::size_t start = 0;;) {
        const std::size_t p = key.find('\\', start);
        out.push_back(
            key.substr(start, p == std::string_view::npos ? std::string_view::npos : p - start));
        if (p == std::string_view::npos) break;
        start = p + 1;
    }
    return out;
}

// The key path of a section header inside this hive; none when the header names another root
// or an impossible key, or is a deletion ("[-...]"). Throws HiveDamage when the key breaks the
// limits.
std::optional<std::vector<std::string_view>> ParseHeader(std::string_view inner, Hive hive) {
    if (inner.empty() || inner[0] == '-') return std::nullopt;
    std::vector<std::string_view> parts = SplitKeyView(inner);
    const std::string_view root =
        hive == Hive::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
    if (!FoldedEqual(parts[0], root)) return std::nullopt;
    parts.erase(parts.begin());
    for (std::string_view p : parts)
        if (p.empty() || HasControl(p, false) || !IsValidUtf8(p)) return std::nullopt;
    if (auto beyond = KeyBeyondLimits(parts)) throw HiveDamage{"it holds " + *beyond};
    return parts;
}

// A header names its missing parents too, so a file that names only deep keys makes a key for
// every two of its bytes, and each key takes about a hundred bytes of memory. More keys than
// this are refused as damage; a file this registry writes has a header of at least 20 bytes for
// every key.
constexpr std::size_t kMinBytesPerKey = 16;
constexpr std::size_t kKeysAnyHiveMayHold = 65536;

// The lines from text[pos] up to the next header line that are not blank: at least as many as
// the section's entries.
std::size_t SectionLines(std::string_view text, std::size_t pos) {
    std::size_t n = 0;
    while (pos < text.size()) {
        std::size_t next = 0;
        const std::string_view line = LineAt(text, pos, next);
        if (IsHeaderLine(line)) break;
        if (!TrimView(line, kTrailBlanks, TrimEnds::Right).empty()) ++n;
        pos = next;
    }
    return n;
}

// `text` is valid UTF-8 without NUL whose first line is the header. With `only` (folded key
// components), values are kept only for that key and its subtree: a reader needs no more, and
// the rest of a large hive then costs little memory. Such a partial document is never written
// back. Throws HiveDamage when the content breaks the limits, `only` or not.
Document Parse(std::string_view text, Hive hive, const std::vector<std::string>* only) {
    Document doc;
    Key* current = nullptr;  // section being read; null in the preamble or a foreign section
    bool inForeign = false;
    bool skipping = false;  // a section whose values this reader does not need
    const std::size_t maxKeys = text.size() / kMinBytesPerKey + kKeysAnyHiveMayHold;
    std::size_t pos = 0;
    LineAt(text, 0, pos);  // the header line, checked by the caller
    while (pos < text.size()) {
        std::size_t next = 0;
        const std::string_view line = LineAt(text, pos, next);
        if (TrimView(line, kTrailBlanks, TrimEnds::Right).empty()) {  // blank lines only separate
            pos = next;
            continue;
        }
        if (IsHeaderLine(line)) {
            std::string_view t = TrimView(TrimView(line, kLeadBlanks, TrimEnds::Left), kTrailBlanks,
                                          TrimEnds::Right);
            if (auto parts = ParseHeader(t.substr(1, t.size() - 2), hive)) {
                current = FindOrCreateKey(doc, *parts);
                if (doc.keys.size() > maxKeys)
                    throw HiveDamage{
                        "it names more keys than a file of its size may hold (at most one "
                        "for every " +
                        std::to_string(kMinBytesPerKey) + " bytes)"};
                inForeign = false;
                if (only) {
                    bool wanted = parts->size() >= only->size();
                    for (std::size_t k = 0; wanted && k < only->size(); ++k)
                        wanted = FoldedEqual((*parts)[k], (*only)[k]);
                    skipping = !wanted;
                }
                if (!skipping) current->Reserve(SectionLines(text, next));
            } else {
                if (!doc.foreign.empty()) doc.foreign.emplace_back();
                doc.foreign.emplace_back(line);
                current = nullptr;
                inForeign = true;
            }
            pos = next;
            continue;
        }
        if (inForeign) {
            doc.foreign.emplace_back(line);
            pos = next;
            continue;
        }
        if (!current) {
            doc.preamble.emplace_back(line);
            pos = next;
            continue;
        }
        // Skipped sections are parsed too, so that every caller finds the same damage.
        if (auto v = ParseValue(text, pos)) {
            if (auto beyond = ValueNameBeyondLimits(v->value.name))
                throw HiveDamage{"it holds " + *beyond};
            pos = v->end;
            if (!skipping) current->AddEntry(EntryOf(std::move(*v)));
        } else {
            if (!skipping) {
                Entry opaque;
                opaque.verbatim = true;
                opaque.data = line;
                current->AddEntry(std::move(opaque));
            }
            pos = next;
        }
    }
    return doc;
}

std::string ValueLine(const Entry& e) {
    std::string out = e.Name().empty() ? std::string("@") : Quote(e.Name());
    out += "=";
    if (e.kind == ValueKind::Dword) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(e.dword));
        out += buf;
    } else {
        out += HasControl(e.Text(), true) ? EncodeHex1(e.Text()) : Quote(e.Text());
    }
    return out;
}

// Appends the key (its header as `path`; the hive's root only when it has entries) and its
// subtree in file order. Walks with a stack of its own rather than recursion, since a file
// shapes the tree. False, with `out` left partly written, once `out` would pass `limit` bytes.
bool WriteTree(std::string& out, const Key& top, std::string path, bool isRoot, std::size_t limit) {
    const auto write = [&](const Key& key, bool root) {
        if (root && key.entries.empty()) return true;
        out += "[";
        out += path;
        out += "]\n";
        for (const Entry& e : key.entries) {
            if (e.verbatim) {
                out += e.Text();
                out += "\n";
            } else {
                out += ValueLine(e);
                out += "\n";
            }
            if (out.size() > limit) return false;
        }
        out += "\n";
        return out.size() <= limit;
    };
    if (!write(top, isRoot)) return false;
    struct Frame {
        const Key* key;
        std::size_t next;        // child to write next
        std::size_t pathLength;  // of the key's own path
    };
    std::vector<Frame> stack{{&top, 0, path.size()}};
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next == f.key->children.size()) {
            stack.pop_back();
            continue;
        }
        const Key* child = f.key->children[f.next++];
        path.resize(f.pathLength);
        path += "\\";
        path += child->name;
        if (path.size() > limit || !write(*child, false)) return false;
        stack.push_back({child, 0, path.size()});
    }
    return true;
}

// Why a hive's text cannot be read as a whole, before its lines are parsed; none when it can.
std::optional<std::string> TextDamage(std::string_view view) {
    if (view.find('\0') != std::string_view::npos) return "it contains a NUL byte";
    if (!IsValidUtf8(view)) return "it is not valid UTF-8 text";
    std::string_view first = view.substr(0, view.find('\n'));
    if (TrimView(first, kTrailBlanks, TrimEnds::Right) != kHeader)
        return "its first line is not \"" + std::string(kHeader) + "\"";
    return std::nullopt;
}

}  // namespace

// ----- key paths and names given by callers ----------------------------------------------------

std::vector<std::string> SplitKey(std::string_view key) {
    std::vector<std::string> out;
    if (key.empty()) return out;
    std::size_t start = 0;
    for (;;) {
        std::size_t p = key.find('\\', start);
        out.emplace_back(
            key.substr(start, p == std::string_view::npos ? std::string_view::npos : p - start));
        if (p == std::string_view::npos) break;
        start = p + 1;
    }
    return out;
}

std::vector<std::string> CheckedKey(std::string_view key) {
    if (!IsValidKeyPath(key))
        throw std::invalid_argument("invalid registry key path: " + std::string(key));
    return SplitKey(key);
}

// A key path that a write may create.
std::vector<std::string> CheckedNewKey(std::string_view key) {
    std::vector<std::string> parts = CheckedKey(key);
    if (auto beyond = KeyBeyondLimits(parts))
        throw std::invalid_argument("the registry cannot hold " + *beyond);
    return parts;
}

void CheckValueName(std::string_view name) {
    if (HasControl(name, true) || !IsValidUtf8(name))
        throw std::invalid_argument("invalid registry value name");
    if (auto beyond = ValueNameBeyondLimits(name))
        throw std::invalid_argument("the registry cannot hold " + *beyond);
}

// ----- values --------------------------------------------------------------------------------

RegistryValue ValueOf(const Entry& e) {
    if (e.kind == ValueKind::Other) {
        if (auto v = ParseValue(e.Text(), 0)) return std::move(v->value);
    }
    return RegistryValue{std::string(e.Name()), e.kind, std::string(e.Text()), e.dword};
}

bool SameValue(const RegistryValue& a, const RegistryValue& b) {
    return a.name == b.name && a.kind == b.kind && a.text == b.text && a.dword == b.dword;
}

void SetValue(Key& key, RegistryValue value) {
    const std::ptrdiff_t at = key.ValueIndex(value.name);
    if (at < 0) {
        Entry e;
        e.isValue = true;
        e.kind = value.kind;
        e.Set(value.name, value.text);
        e.dword = value.dword;
        key.AddEntry(std::move(e));
        return;
    }
    Entry& e = key.entries[static_cast<std::size_t>(at)];
    // The case first written stays.
    e.kind = value.kind;
    e.Set(std::string(e.Name()), value.text);
    e.dword = value.dword;
    e.verbatim = false;
    // Earlier duplicates of the name go with this write.
    const std::string name(e.Name());
    std::size_t kept = 0;
    for (std::size_t i = 0; i < key.entries.size(); ++i) {
        const Entry& x = key.entries[i];
        if (i < static_cast<std::size_t>(at) && x.isValue && FoldedEqual(x.Name(), name)) continue;
        if (kept != i) key.entries[kept] = std::move(key.entries[i]);
        ++kept;
    }
    if (kept != key.entries.size()) {
        key.entries.resize(kept);
        key.ReindexValues();
    }
}

std::vector<std::string> SubKeyNames(const Key& key) {
    std::vector<std::string> names;
    for (const Key* c : key.children) names.push_back(c->name);
    return names;
}

std::vector<RegistryValue> ValuesOf(const Key& key) {
    std::vector<RegistryValue> values;
    for (std::size_t i = 0; i < key.entries.size(); ++i) {
        const Entry& e = key.entries[i];
        if (e.isValue && key.ValueIndex(e.Name()) == static_cast<std::ptrdiff_t>(i))
            values.push_back(ValueOf(e));
    }
    return values;
}

// ----- whole texts ---------------------------------------------------------------------------

ParsedHive ParseHive(std::string_view text, Hive hive, const std::vector<std::string>* only) {
    ParsedHive result;
    if (text.empty()) {
        result.doc.emplace();
        return result;
    }
    if (text.size() > kMaxHiveBytes) {
        result.damage = "it is larger than 64 MiB";
        return result;
    }
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    if (auto damage = TextDamage(text)) {
        result.damage = std::move(*damage);
        return result;
    }
    try {
        result.doc = Parse(text, hive, only);
    } catch (const HiveDamage& damage) {
        result.damage = damage.what;
    }
    return result;
}

// The hive's text; none when it would be larger than a hive may be.
std::optional<std::string> Serialise(const Document& doc, Hive hive) {
    std::string out(kHeader);
    out += "\n\n";
    if (!doc.preamble.empty()) {
        for (const std::string& l : doc.preamble) out += l + "\n";
        out += "\n";
    }
    if (!WriteTree(out, doc.root, HiveName(hive), true, kMaxHiveBytes)) return std::nullopt;
    if (!doc.foreign.empty()) {
        for (const std::string& l : doc.foreign) out += l + "\n";
        out += "\n";
    }
    if (out.size() > kMaxHiveBytes) return std::nullopt;
    return out;
}

std::optional<std::string> ExportKey(const Document& doc, Hive hive,
                                     const std::vector<std::string>& parts) {
    const Key* k = FindKey(doc.root, parts);
    if (!k) return std::nullopt;
    std::string path = HiveName(hive);
    const Key* walk = &doc.root;
    for (const std::string& p : parts) {
        walk = walk->Child(p);
        path += "\\" + walk->name;
    }
    std::string out(kHeader);
    out += "\n\n";
    // A hive that names only its deepest keys exports a header for every key: the text can be
    // far larger than the file, so it is bounded like a hive.
    if (!WriteTree(out, *k, path, parts.empty(), kMaxHiveBytes))
        throw RegistryError("The registry key " + path +
                            " is too large to export (more than 64 MiB as text).");
    return out;
}

}  // namespace registry_format

// ----- hives and key paths -------------------------------------------------------------------

std::string HiveName(Hive hive) {
    return hive == Hive::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

bool IsValidKeyPath(std::string_view key) {
    return key.empty() || registry_format::ValidComponents(registry_format::SplitKey(key));
}

std::optional<KeyPath> ParseKeyPath(std::string_view fullKey) {
    static const std::pair<std::string_view, Hive> roots[] = {
        {"HKEY_CURRENT_USER", Hive::CurrentUser},
        {"HKEY_LOCAL_MACHINE", Hive::LocalMachine},
        {"HKCU", Hive::CurrentUser},
        {"HKLM", Hive::LocalMachine},
    };
    for (const auto& [name, hive] : roots) {
        if (fullKey.size() < name.size() ||
            !plenova::EqualsIgnoreCase(fullKey.substr(0, name.size()), name))
            continue;
        std::string_view rest = fullKey.substr(name.size());
        if (!rest.empty() && rest[0] != '\\' && rest[0] != '/') continue;
        if (!rest.empty()) rest.remove_prefix(1);
        while (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
        if (!IsValidKeyPath(rest)) return std::nullopt;
        return KeyPath{hive, std::string(rest)};
    }
    return std::nullopt;
}

}  // namespace plenova::platform
