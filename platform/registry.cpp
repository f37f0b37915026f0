#include "platform/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <utility>

#include "base/text.h"
#include "base/utf8.h"
#include "platform/file_io.h"
#include "platform/machine.h"

namespace plenova::platform {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::size_t kMaxHiveBytes = 64u << 20;

// ----- text helpers --------------------------------------------------------------------------

bool HasControl(std::string_view s, bool allowTab) {
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && !(allowTab && c == '\t')) || c == 0x7F) return true;
    }
    return false;
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char a = s[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (a != prefix[i]) return false;
    }
    return true;
}

// Case folding of names; the common all-ASCII name takes a quick path with the same result.
std::string Fold(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return plenova::FoldCase(s);
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::vector<std::string> SplitKey(std::string_view key) {
    std::vector<std::string> out;
    if (key.empty()) return out;
    std::size_t start = 0;
    for (;;) {
        std::size_t p = key.find('\\', start);
        out.emplace_back(key.substr(start, p == std::string_view::npos ? std::string_view::npos : p - start));
        if (p == std::string_view::npos) break;
        start = p + 1;
    }
    return out;
}

bool ValidComponents(const std::vector<std::string>& parts) {
    for (const std::string& p : parts)
        if (p.empty() || HasControl(p, false) || !IsValidUtf8(p)) return false;
    return true;
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

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
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
        if (i + 1 >= data.size() || HexDigit(c) < 0 || HexDigit(data[i + 1]) < 0) return std::nullopt;
        bytes.push_back(static_cast<unsigned char>(HexDigit(c) * 16 + HexDigit(data[i + 1])));
        i += 2;
        if (i < data.size() && HexDigit(data[i]) >= 0) return std::nullopt;  // three digits
    }
    if (bytes.size() % 2 != 0) return std::nullopt;
    std::vector<char32_t> units;
    for (std::size_t k = 0; k < bytes.size(); k += 2) units.push_back(bytes[k] | (bytes[k + 1] << 8));
    if (!units.empty() && units.back() == 0) units.pop_back();
    std::string out;
    for (std::size_t k = 0; k < units.size(); ++k) {
        char32_t u = units[k];
        if (u == 0) return std::nullopt;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (k + 1 >= units.size() || units[k + 1] < 0xDC00 || units[k + 1] > 0xDFFF) return std::nullopt;
            u = 0x10000 + ((u - 0xD800) << 10) + (units[++k] - 0xDC00);
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return std::nullopt;
        }
        AppendUtf8(out, u);
    }
    return out;
}

// ----- the document model --------------------------------------------------------------------

struct Entry {
    bool isValue = false;
    RegistryValue value;
    std::string folded;             // folded value name
    std::vector<std::string> raw;   // lines kept verbatim (unknown lines, values of kind Other)
};

struct Key {
    std::string name;
    std::string folded;
    std::vector<Entry> entries;
    std::vector<std::unique_ptr<Key>> children;

    Key* Child(const std::string& foldedName) const {
        for (const auto& c : children)
            if (c->folded == foldedName) return c.get();
        return nullptr;
    }
    Key* AddChild(const std::string& childName) {
        children.push_back(std::make_unique<Key>());
        children.back()->name = childName;
        children.back()->folded = Fold(childName);
        return children.back().get();
    }
    // Index of the value entry that counts for `foldedName` (the last one), or -1.
    std::ptrdiff_t ValueIndex(const std::string& foldedName) const {
        for (std::size_t i = entries.size(); i-- > 0;)
            if (entries[i].isValue && entries[i].folded == foldedName) return static_cast<std::ptrdiff_t>(i);
        return -1;
    }
};

struct Document {
    std::vector<std::string> preamble;  // lines before the first key
    Key root;
    std::vector<std::string> foreign;   // sections this hive cannot address, verbatim
};

Key* FindKey(const Key& root, const std::vector<std::string>& parts) {
    const Key* k = &root;
    for (const std::string& p : parts) {
        k = k->Child(Fold(p));
        if (!k) return nullptr;
    }
    return const_cast<Key*>(k);
}

Key* FindOrCreateKey(Key& root, const std::vector<std::string>& parts, bool* created = nullptr) {
    Key* k = &root;
    for (const std::string& p : parts) {
        Key* next = k->Child(Fold(p));
        if (!next) {
            next = k->AddChild(p);
            if (created) *created = true;
        }
        k = next;
    }
    return k;
}

bool IsHeaderLine(std::string_view line) {
    std::string_view t = TrimRight(TrimLeft(line));
    return t.size() >= 2 && t.front() == '[' && t.back() == ']';
}

// Parses one value line (plus its continuation lines for unquoted data). `i` indexes `lines`
// and is advanced past the lines used. None when the line is no well-formed value line.
std::optional<Entry> ParseValue(const std::vector<std::string_view>& lines, std::size_t& i) {
    std::string_view line = TrimLeft(lines[i]);
    Entry e;
    e.isValue = true;
    std::size_t pos = 0;
    if (!line.empty() && line[0] == '@') {
        pos = 1;
    } else if (!line.empty() && line[0] == '"') {
        auto name = Unquote(line, pos);
        if (!name) return std::nullopt;
        e.value.name = *name;
    } else {
        return std::nullopt;
    }
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos >= line.size() || line[pos] != '=') return std::nullopt;
    ++pos;
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    e.folded = Fold(e.value.name);
    std::string_view data = line.substr(pos);

    if (!data.empty() && data[0] == '"') {
        std::size_t p = 0;
        auto text = Unquote(data, p);
        if (!text || !TrimRight(data.substr(p)).empty()) return std::nullopt;
        e.value.kind = ValueKind::String;
        e.value.text = std::move(*text);
        ++i;
        return e;
    }
    // Unquoted data may go on over lines ending in "\".
    std::size_t last = i;
    std::string joined(TrimRight(data));
    while (!TrimRight(lines[last]).empty() && TrimRight(lines[last]).back() == '\\' &&
           last + 1 < lines.size() && !IsHeaderLine(lines[last + 1])) {
        ++last;
        joined += "\n";
        joined += TrimRight(lines[last]);
    }
    std::string_view td = TrimRight(data);
    if (last == i && StartsWithNoCase(td, "dword:") && td.size() > 6 && td.size() <= 14) {
        std::uint32_t v = 0;
        bool ok = true;
        for (char c : td.substr(6)) {
            const int d = HexDigit(c);
            if (d < 0) ok = false;
            v = (v << 4) | static_cast<std::uint32_t>(d < 0 ? 0 : d);
        }
        if (ok) {
            e.value.kind = ValueKind::Dword;
            e.value.dword = v;
            ++i;
            return e;
        }
    }
    if (StartsWithNoCase(td, "hex(1):")) {
        if (auto text = DecodeHex1(std::string_view(joined).substr(7))) {
            e.value.kind = ValueKind::String;
            e.value.text = std::move(*text);
            i = last + 1;
            return e;
        }
    }
    e.value.kind = ValueKind::Other;
    e.value.text = joined;
    for (std::size_t k = i; k <= last; ++k) e.raw.emplace_back(lines[k]);
    i = last + 1;
    return e;
}

// The key path of a section header inside this hive; none when the header names another root
// or an impossible key, or is a deletion ("[-...]").
std::optional<std::vector<std::string>> ParseHeader(std::string_view inner, Hive hive) {
    if (inner.empty() || inner[0] == '-') return std::nullopt;
    std::vector<std::string> parts = SplitKey(inner);
    if (parts.empty() || !plenova::EqualsIgnoreCase(parts[0], HiveName(hive))) return std::nullopt;
    parts.erase(parts.begin());
    if (!ValidComponents(parts)) return std::nullopt;
    return parts;
}

// `text` is valid UTF-8 without NUL whose first line is the header. With `only` (folded key
// components), values are read only for that key and its subtree: a reader needs no more, and
// the rest of a large hive then costs little. Such a partial document is never written back.
Document Parse(std::string_view text, Hive hive, const std::vector<std::string>* only) {
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t nl = text.find('\n', start);
        std::string_view line = text.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (nl == std::string_view::npos) break;
        start = nl + 1;
    }
    Document doc;
    Key* current = nullptr;   // section being read; null in the preamble or a foreign section
    bool inForeign = false;
    bool skipping = false;    // a section whose values this reader does not need
    for (std::size_t i = 1; i < lines.size();) {
        std::string_view line = lines[i];
        if (TrimRight(line).empty()) {  // blank lines only separate
            ++i;
            continue;
        }
        if (IsHeaderLine(line)) {
            std::string_view t = TrimRight(TrimLeft(line));
            if (auto parts = ParseHeader(t.substr(1, t.size() - 2), hive)) {
                current = FindOrCreateKey(doc.root, *parts);
                inForeign = false;
                if (only) {
                    bool wanted = parts->size() >= only->size();
                    for (std::size_t k = 0; wanted && k < only->size(); ++k)
                        wanted = Fold((*parts)[k]) == (*only)[k];
                    skipping = !wanted;
                }
            } else {
                if (!doc.foreign.empty()) doc.foreign.emplace_back();
                doc.foreign.emplace_back(line);
                current = nullptr;
                inForeign = true;
            }
            ++i;
            continue;
        }
        if (inForeign) {
            doc.foreign.emplace_back(line);
            ++i;
            continue;
        }
        if (!current) {
            doc.preamble.emplace_back(line);
            ++i;
            continue;
        }
        if (skipping) {
            ++i;
            continue;
        }
        std::size_t next = i;
        if (auto e = ParseValue(lines, next)) {
            current->entries.push_back(std::move(*e));
            i = next;
        } else {
            Entry opaque;
            opaque.raw.emplace_back(line);
            current->entries.push_back(std::move(opaque));
            ++i;
        }
    }
    return doc;
}

std::string ValueLine(const RegistryValue& v) {
    std::string out = v.name.empty() ? std::string("@") : Quote(v.name);
    out += "=";
    if (v.kind == ValueKind::Dword) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(v.dword));
        out += buf;
    } else if (v.kind == ValueKind::String) {
        out += HasControl(v.text, true) ? EncodeHex1(v.text) : Quote(v.text);
    } else {
        out += v.text;
    }
    return out;
}

void WriteKey(std::string& out, const Key& key, const std::string& path, bool isRoot) {
    if (!isRoot || !key.entries.empty()) {
        out += "[" + path + "]\n";
        for (const Entry& e : key.entries) {
            if (!e.raw.empty()) {
                for (const std::string& l : e.raw) out += l + "\n";
            } else {
                out += ValueLine(e.value) + "\n";
            }
        }
        out += "\n";
    }
    for (const auto& c : key.children) WriteKey(out, *c, path + "\\" + c->name, false);
}

std::string Serialise(const Document& doc, Hive hive) {
    std::string out(kHeader);
    out += "\n\n";
    if (!doc.preamble.empty()) {
        for (const std::string& l : doc.preamble) out += l + "\n";
        out += "\n";
    }
    WriteKey(out, doc.root, HiveName(hive), true);
    if (!doc.foreign.empty()) {
        for (const std::string& l : doc.foreign) out += l + "\n";
        out += "\n";
    }
    return out;
}

// ----- files and locks -----------------------------------------------------------------------

std::string Errno(const std::string& what, const fs::path& p) {
    return what + " " + p.string() + ": " + std::strerror(errno);
}

// False with errno set when the lock cannot be had.
bool Flock(int fd, int op) {
    try {
        LockDescriptor(fd, op == LOCK_SH ? LockMode::Shared : LockMode::Exclusive, fs::path());
        return true;
    } catch (const FileError& e) {
        errno = e.ErrorNumber();
        return false;
    }
}

fs::path Sibling(const fs::path& hive, const char* suffix) { return SiblingPath(hive, suffix); }

// Content of the hive file, or why it is damaged.
struct Loaded {
    std::optional<Document> doc;
    std::string damage;
};

Loaded Load(const fs::path& path, Hive hive, const std::vector<std::string>* only = nullptr) {
    Loaded result;
    std::string text;
    try {
        // Never more than the limit is read or held, whatever the file claims.
        auto fd = OpenForReadingIfExists(path);
        if (!fd) {
            result.doc.emplace();
            return result;
        }
        text = ReadAll(fd->Get(), kMaxHiveBytes, path);
    } catch (const FileTooLargeError&) {
        result.damage = "it is larger than 64 MiB";
        return result;
    } catch (const FileError& e) {
        throw RegistryError(std::string("cannot read the registry file: ") + e.what());
    }
    if (text.empty()) {
        result.doc.emplace();
        return result;
    }
    std::string_view view(text);
    if (view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);
    if (view.find('\0') != std::string_view::npos) {
        result.damage = "it contains a NUL byte";
        return result;
    }
    if (!IsValidUtf8(view)) {
        result.damage = "it is not valid UTF-8 text";
        return result;
    }
    std::string_view first = view.substr(0, view.find('\n'));
    if (TrimRight(first) != kHeader) {
        result.damage = "its first line is not \"" + std::string(kHeader) + "\"";
        return result;
    }
    result.doc = Parse(view, hive, only);
    return result;
}

[[noreturn]] void MoveAside(const fs::path& path, const std::string& damage) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::gmtime_r(&now, &tm);
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%S", &tm);
    fs::path aside = Sibling(path, (std::string(".damaged-") + stamp).c_str());
    for (int n = 2; ::access(aside.c_str(), F_OK) == 0; ++n)
        aside = Sibling(path, (std::string(".damaged-") + stamp + "-" + std::to_string(n)).c_str());
    if (::rename(path.c_str(), aside.c_str()) != 0)
        throw RegistryError("The registry file " + path.string() + " is damaged (" + damage +
                            ") and cannot be moved aside: " + std::strerror(errno));
    SyncFolder(path.parent_path());
    throw DamagedHiveError("The registry file " + path.string() + " is damaged (" + damage +
                               "); it has been kept as " + aside.string() +
                               " and the registry starts empty.",
                           path, aside);
}

void Save(const fs::path& path, const std::string& text) {
    try {
        ReplaceFile(path, text, 0600);
    } catch (const FileError& e) {
        throw RegistryError(std::string("cannot write the registry file: ") + e.what());
    }
}

// Opens (creating when allowed) the lock file beside the hive. -1 when a reader cannot have
// one (a folder it may not write); readers then go on without, since renames are atomic.
int OpenLock(const fs::path& hive, bool write) {
    const LockMode mode = write ? LockMode::Exclusive : LockMode::Shared;
    try {
        return OpenLockFile(hive, mode).Release();
    } catch (const FileError& e) {
        if (e.ErrorNumber() != ENOENT) throw RegistryError(e.what());
    }
    // The first write makes the hive's folder.
    std::error_code ec;
    fs::create_directories(hive.parent_path(), ec);
    try {
        return OpenLockFile(hive, mode).Release();
    } catch (const FileError& e) {
        throw RegistryError(e.what());
    }
}

// Runs `read` on the hive's content under a shared lock.
template <class F>
auto ReadHive(const fs::path& path, Hive hive, const std::vector<std::string>& key, F&& read) {
    std::vector<std::string> only;
    for (const std::string& k : key) only.push_back(Fold(k));
    UniqueFd lock(OpenLock(path, false));
    if (lock.Get() >= 0 && !Flock(lock.Get(), LOCK_SH))
        throw RegistryError(Errno("cannot lock the registry file", path));
    Loaded loaded = Load(path, hive, &only);
    if (!loaded.doc) {
        // Moving the file aside needs the writers' lock; someone may have done it meanwhile.
        if (lock.Get() >= 0 && !Flock(lock.Get(), LOCK_EX))
            throw RegistryError(Errno("cannot lock the registry file", path));
        loaded = Load(path, hive, &only);
        if (!loaded.doc) MoveAside(path, loaded.damage);
    }
    return read(static_cast<const Document&>(*loaded.doc));
}

// Runs `change` on the hive's content under the exclusive lock and saves the result when
// `change` returns true.
template <class F>
void WriteHive(const fs::path& path, Hive hive, F&& change) {
    UniqueFd lock(OpenLock(path, true));
    if (!Flock(lock.Get(), LOCK_EX)) throw RegistryError(Errno("cannot lock the registry file", path));
    Loaded loaded = Load(path, hive);
    if (!loaded.doc) MoveAside(path, loaded.damage);
    if (change(*loaded.doc)) Save(path, Serialise(*loaded.doc, hive));
}

std::vector<std::string> CheckedKey(std::string_view key) {
    if (!IsValidKeyPath(key)) throw std::invalid_argument("invalid registry key path: " + std::string(key));
    return SplitKey(key);
}

void CheckName(std::string_view name) {
    if (HasControl(name, true) || !IsValidUtf8(name))
        throw std::invalid_argument("invalid registry value name");
}

void SetValue(Key& key, RegistryValue value) {
    const std::string folded = Fold(value.name);
    const std::ptrdiff_t at = key.ValueIndex(folded);
    if (at < 0) {
        Entry e;
        e.isValue = true;
        e.folded = folded;
        e.value = std::move(value);
        key.entries.push_back(std::move(e));
        return;
    }
    Entry& e = key.entries[static_cast<std::size_t>(at)];
    value.name = e.value.name;  // the case first written stays
    e.value = std::move(value);
    e.raw.clear();
    // Earlier duplicates of the name go with this write.
    for (std::size_t i = static_cast<std::size_t>(at); i-- > 0;)
        if (key.entries[i].isValue && key.entries[i].folded == folded)
            key.entries.erase(key.entries.begin() + static_cast<std::ptrdiff_t>(i));
}

bool SameValue(const RegistryValue& a, const RegistryValue& b) {
    return a.name == b.name && a.kind == b.kind && a.text == b.text && a.dword == b.dword;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

std::string HiveName(Hive hive) {
    return hive == Hive::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

bool IsValidKeyPath(std::string_view key) { return key.empty() || ValidComponents(SplitKey(key)); }

std::optional<KeyPath> ParseKeyPath(std::string_view fullKey) {
    static const std::pair<std::string_view, Hive> roots[] = {
        {"HKEY_CURRENT_USER", Hive::CurrentUser},
        {"HKEY_LOCAL_MACHINE", Hive::LocalMachine},
        {"HKCU", Hive::CurrentUser},
        {"HKLM", Hive::LocalMachine},
    };
    for (const auto& [name, hive] : roots) {
        if (fullKey.size() < name.size() || !plenova::EqualsIgnoreCase(fullKey.substr(0, name.size()), name))
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

Registry::Registry(const Machine& machine)
    : userHive_(machine.UserHivePath()), machineHive_(machine.MachineHivePath()) {}

Registry::Registry(fs::path userHive, fs::path machineHive)
    : userHive_(std::move(userHive)), machineHive_(std::move(machineHive)) {}

const fs::path& Registry::HivePath(Hive hive) const {
    return hive == Hive::CurrentUser ? userHive_ : machineHive_;
}

bool Registry::CreateKey(Hive hive, std::string_view key) {
    const auto parts = CheckedKey(key);
    bool created = false;
    WriteHive(HivePath(hive), hive, [&](Document& doc) {
        FindOrCreateKey(doc.root, parts, &created);
        return created;
    });
    return created;
}

void Registry::SetString(Hive hive, std::string_view key, std::string_view name, std::string_view text) {
    const auto parts = CheckedKey(key);
    CheckName(name);
    if (!IsValidUtf8(text) || text.find('\0') != std::string_view::npos)
        throw std::invalid_argument("a registry string must be UTF-8 text without NUL");
    WriteHive(HivePath(hive), hive, [&](Document& doc) {
        bool created = false;
        Key* k = FindOrCreateKey(doc.root, parts, &created);
        RegistryValue v{std::string(name), ValueKind::String, std::string(text), 0};
        const std::ptrdiff_t at = k->ValueIndex(Fold(name));
        if (!created && at >= 0) {
            RegistryValue old = k->entries[static_cast<std::size_t>(at)].value;
            v.name = old.name;
            if (SameValue(old, v) && k->entries[static_cast<std::size_t>(at)].raw.empty()) return false;
        }
        SetValue(*k, std::move(v));
        return true;
    });
}

void Registry::SetDword(Hive hive, std::string_view key, std::string_view name, std::uint32_t value) {
    const auto parts = CheckedKey(key);
    CheckName(name);
    WriteHive(HivePath(hive), hive, [&](Document& doc) {
        Key* k = FindOrCreateKey(doc.root, parts);
        SetValue(*k, RegistryValue{std::string(name), ValueKind::Dword, std::string(), value});
        return true;
    });
}

bool Registry::DeleteValue(Hive hive, std::string_view key, std::string_view name) {
    const auto parts = CheckedKey(key);
    bool deleted = false;
    WriteHive(HivePath(hive), hive, [&](Document& doc) {
        Key* k = FindKey(doc.root, parts);
        if (!k) return false;
        const std::string folded = Fold(name);
        deleted = std::erase_if(k->entries, [&](const Entry& e) { return e.isValue && e.folded == folded; }) > 0;
        return deleted;
    });
    return deleted;
}

bool Registry::DeleteKey(Hive hive, std::string_view key) {
    auto parts = CheckedKey(key);
    if (parts.empty()) throw std::invalid_argument("the root key of a hive cannot be deleted");
    bool deleted = false;
    WriteHive(HivePath(hive), hive, [&](Document& doc) {
        const std::string last = Fold(parts.back());
        parts.pop_back();
        Key* parent = FindKey(doc.root, parts);
        if (!parent) return false;
        deleted = std::erase_if(parent->children, [&](const auto& c) { return c->folded == last; }) > 0;
        return deleted;
    });
    return deleted;
}

bool Registry::KeyExists(Hive hive, std::string_view key) const {
    if (!IsValidKeyPath(key)) return false;
    const auto parts = SplitKey(key);
    return ReadHive(HivePath(hive), hive, parts, [&](const Document& doc) { return FindKey(doc.root, parts) != nullptr; });
}

std::optional<RegistryValue> Registry::QueryValue(Hive hive, std::string_view key, std::string_view name) const {
    if (!IsValidKeyPath(key)) return std::nullopt;
    const auto parts = SplitKey(key);
    return ReadHive(HivePath(hive), hive, parts, [&](const Document& doc) -> std::optional<RegistryValue> {
        const Key* k = FindKey(doc.root, parts);
        if (!k) return std::nullopt;
        const std::ptrdiff_t at = k->ValueIndex(Fold(name));
        if (at < 0) return std::nullopt;
        return k->entries[static_cast<std::size_t>(at)].value;
    });
}

std::optional<std::string> Registry::QueryString(Hive hive, std::string_view key, std::string_view name) const {
    auto v = QueryValue(hive, key, name);
    if (!v || v->kind != ValueKind::String) return std::nullopt;
    return std::move(v->text);
}

std::optional<std::vector<std::string>> Registry::SubKeys(Hive hive, std::string_view key) const {
    if (!IsValidKeyPath(key)) return std::nullopt;
    const auto parts = SplitKey(key);
    return ReadHive(HivePath(hive), hive, parts, [&](const Document& doc) -> std::optional<std::vector<std::string>> {
        const Key* k = FindKey(doc.root, parts);
        if (!k) return std::nullopt;
        std::vector<std::string> names;
        for (const auto& c : k->children) names.push_back(c->name);
        return names;
    });
}

std::optional<std::vector<RegistryValue>> Registry::Values(Hive hive, std::string_view key) const {
    if (!IsValidKeyPath(key)) return std::nullopt;
    const auto parts = SplitKey(key);
    return ReadHive(HivePath(hive), hive, parts, [&](const Document& doc) -> std::optional<std::vector<RegistryValue>> {
        const Key* k = FindKey(doc.root, parts);
        if (!k) return std::nullopt;
        std::vector<RegistryValue> values;
        for (std::size_t i = 0; i < k->entries.size(); ++i) {
            const Entry& e = k->entries[i];
            if (e.isValue && k->ValueIndex(e.folded) == static_cast<std::ptrdiff_t>(i)) values.push_back(e.value);
        }
        return values;
    });
}

std::optional<std::string> Registry::Export(Hive hive, std::string_view key) const {
    if (!IsValidKeyPath(key)) return std::nullopt;
    const auto parts = SplitKey(key);
    return ReadHive(HivePath(hive), hive, parts, [&](const Document& doc) -> std::optional<std::string> {
        const Key* k = FindKey(doc.root, parts);
        if (!k) return std::nullopt;
        std::string path = HiveName(hive);
        const Key* walk = &doc.root;
        for (const std::string& p : parts) {
            walk = walk->Child(Fold(p));
            path += "\\" + walk->name;
        }
        std::string out(kHeader);
        out += "\n\n";
        WriteKey(out, *k, path, parts.empty());
        return out;
    });
}

Registry CurrentRegistry() { return Registry(CurrentMachine()); }

}  // namespace plenova::platform
