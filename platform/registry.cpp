#include "platform/registry.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <utility>

#include "base/text.h"
#include "base/utf8.h"
#include "platform/file_io.h"
#include "platform/machine.h"

namespace plenova::platform {

namespace fs = std::filesystem;
using namespace registry_format;

namespace {

// ----- files and locks -----------------------------------------------------------------------

// Waits for the hive's lock; a failure is a RegistryError naming the hive.
void LockHive(int fd, LockMode mode, const fs::path& hive) {
    try {
        LockDescriptor(fd, mode, hive);
    } catch (const FileError& e) {
        throw RegistryError("cannot lock the registry file " + hive.string() + ": " +
                            std::strerror(e.ErrorNumber()));
    }
}

// The moment as "YYYYMMDDTHHMMSS" in UTC, for names of files kept aside.
std::string UtcStamp() {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02u%02uT%02d%02d%02d", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return stamp;
}

fs::path Sibling(const fs::path& hive, const char* suffix) { return SiblingPath(hive, suffix); }

// The hive file's content, or why it is damaged.
ParsedHive Load(const fs::path& path, Hive hive, const std::vector<std::string>* only = nullptr) {
    std::string text;
    try {
        // Never more than the limit is read or held, whatever the file claims.
        auto fd = OpenForReadingIfExists(path);
        if (!fd) {
            ParsedHive result;
            result.doc.emplace();
            return result;
        }
        text = ReadAll(fd->Get(), kMaxHiveBytes, path);
    } catch (const FileTooLargeError&) {
        ParsedHive result;
        result.damage = "it is larger than 64 MiB";
        return result;
    } catch (const FileError& e) {
        throw RegistryError(std::string("cannot read the registry file: ") + e.what());
    }
    return ParseHive(text, hive, only);
}

[[noreturn]] void MoveAside(const fs::path& path, const std::string& damage) {
    const std::string stamp = UtcStamp();
    fs::path aside = Sibling(path, (".damaged-" + stamp).c_str());
    // Any name already there, a dangling link included, is left alone.
    std::error_code ec;
    for (int n = 2; fs::symlink_status(aside, ec).type() != fs::file_type::not_found; ++n)
        aside = Sibling(path, (".damaged-" + stamp + "-" + std::to_string(n)).c_str());
    fs::rename(path, aside, ec);
    if (ec)
        throw RegistryError("The registry file " + path.string() + " is damaged (" + damage +
                            ") and cannot be moved aside: " + ec.message());
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
    for (const std::string& k : key) only.push_back(FoldCase(k));
    UniqueFd lock(OpenLock(path, false));
    if (lock.Get() >= 0) LockHive(lock.Get(), LockMode::Shared, path);
    ParsedHive loaded = Load(path, hive, &only);
    if (!loaded.doc) {
        // Moving the file aside needs the writers' lock; someone may have done it meanwhile.
        if (lock.Get() >= 0) LockHive(lock.Get(), LockMode::Exclusive, path);
        loaded = Load(path, hive, &only);
        if (!loaded.doc) MoveAside(path, loaded.damage);
    }
    return read(static_cast<const Document&>(*loaded.doc));
}

// Runs `change` on the hive's content under the exclusive lock and saves the result when
// `change` returns true. A result that the next read would refuse as too large is not saved.
template <class F>
void WriteHive(const fs::path& path, Hive hive, F&& change) {
    UniqueFd lock(OpenLock(path, true));
    LockHive(lock.Get(), LockMode::Exclusive, path);
    ParsedHive loaded = Load(path, hive);
    if (!loaded.doc) MoveAside(path, loaded.damage);
    if (!change(*loaded.doc)) return;
    std::optional<std::string> text = Serialise(*loaded.doc, hive);
    if (!text)
        throw RegistryError(
            "The registry file " + path.string() +
            " would grow larger than 64 MiB, more than it may hold; it is left as it was.");
    Save(path, *text);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

Registry::Registry(const Machine& machine)
    : userHive_(machine.UserHivePath()), machineHive_(machine.MachineHivePath()) {}

Registry::Registry(fs::path userHive, fs::path machineHive)
    : userHive_(std::move(userHive)), machineHive_(std::move(machineHive)) {}

const fs::path& Registry::HivePath(Hive hive) const {
    return hive == Hive::CurrentUser ? userHive_ : machineHive_;
}

bool Registry::CreateKey(Hive hive, std::string_view key) {
    const auto parts = CheckedNewKey(key);
    bool created = false;
    WriteHive(HivePath(hive), hive, [&](Document& doc) {
        FindOrCreateKey(doc, parts, &created);
        return created;
    });
    return created;
}

void Registry::SetString(Hive hive, std::string_view key, std::string_view name,
                         std::string_view text) {
    const std::pair<std::string_view, std::string_view> value{name, text};
    SetStrings(hive, key, std::span(&value, 1));
}

void Registry::SetStrings(Hive hive, std::string_view key,
                          std::span<const std::pair<std::string_view, std::string_view>> values) {
    const auto parts = CheckedNewKey(key);
    for (const auto& [name, text] : values) {
        CheckValueName(name);
        if (!IsValidUtf8(text) || text.find('\0') != std::string_view::npos)
            throw std::invalid_argument("a registry string must be UTF-8 text without NUL");
    }
    WriteHive(HivePath(hive), hive, [&](Document& doc) {
        bool created = false;
        Key* k = FindOrCreateKey(doc, parts, &created);
        bool changed = created;
        for (const auto& [name, text] : values) {
            RegistryValue v{std::string(name), ValueKind::String, std::string(text), 0};
            const std::ptrdiff_t at = k->ValueIndex(name);
            if (at >= 0) {
                const Entry& old = k->entries[static_cast<std::size_t>(at)];
                v.name = old.Name();
                if (!old.verbatim && SameValue(ValueOf(old), v)) continue;
            }
            SetValue(*k, std::move(v));
            changed = true;
        }
        return changed;
    });
}

void Registry::SetDword(Hive hive, std::string_view key, std::string_view name,
                        std::uint32_t value) {
    const auto parts = CheckedNewKey(key);
    CheckValueName(name);
    WriteHive(HivePath(hive), hive, [&](Document& doc) {
        Key* k = FindOrCreateKey(doc, parts);
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
        deleted = k->RemoveValue(name);
        return deleted;
    });
    return deleted;
}

bool Registry::DeleteKey(Hive hive, std::string_view key) {
    auto parts = CheckedKey(key);
    if (parts.empty()) throw std::invalid_argument("the root key of a hive cannot be deleted");
    bool deleted = false;
    WriteHive(HivePath(hive), hive, [&](Document& doc) {
        const std::string last = parts.back();
        parts.pop_back();
        Key* parent = FindKey(doc.root, parts);
        if (!parent) return false;
        deleted = parent->UnlinkChild(last);
        return deleted;
    });
    return deleted;
}

bool Registry::KeyExists(Hive hive, std::string_view key) const {
    if (!IsValidKeyPath(key)) return false;
    const auto parts = SplitKey(key);
    return ReadHive(HivePath(hive), hive, parts,
                    [&](const Document& doc) { return FindKey(doc.root, parts) != nullptr; });
}

std::optional<RegistryValue> Registry::QueryValue(Hive hive, std::string_view key,
                                                  std::string_view name) const {
    if (!IsValidKeyPath(key)) return std::nullopt;
    const auto parts = SplitKey(key);
    return ReadHive(HivePath(hive), hive, parts,
                    [&](const Document& doc) -> std::optional<RegistryValue> {
                        const Key* k = FindKey(doc.root, parts);
                        if (!k) return std::nullopt;
                        const std::ptrdiff_t at = k->ValueIndex(name);
                        if (at < 0) return std::nullopt;
                        return ValueOf(k->entries[static_cast<std::size_t>(at)]);
                    });
}

std::optional<std::string> Registry::QueryString(Hive hive, std::string_view key,
                                                 std::string_view name) const {
    auto v = QueryValue(hive, key, name);
    if (!v || v->kind != ValueKind::String) return std::nullopt;
    return std::move(v->text);
}

std::optional<std::vector<std::string>> Registry::SubKeys(Hive hive, std::string_view key) const {
    if (!IsValidKeyPath(key)) return std::nullopt;
    const auto parts = SplitKey(key);
    return ReadHive(HivePath(hive), hive, parts,
                    [&](const Document& doc) -> std::optional<std::vector<std::string>> {
                        const Key* k = FindKey(doc.root, parts);
                        if (!k) return std::nullopt;
                        return SubKeyNames(*k);
                    });
}

std::optional<std::vector<RegistryValue>> Registry::Values(Hive hive, std::string_view key) const {
    if (!IsValidKeyPath(key)) return std::nullopt;
    const auto parts = SplitKey(key);
    return ReadHive(HivePath(hive), hive, parts,
                    [&](const Document& doc) -> std::optional<std::vector<RegistryValue>> {
                        const Key* k = FindKey(doc.root, parts);
                        if (!k) return std::nullopt;
                        return ValuesOf(*k);
                    });
}

std::optional<std::string> Registry::Export(Hive hive, std::string_view key) const {
    if (!IsValidKeyPath(key)) return std::nullopt;
    const auto parts = SplitKey(key);
    return ReadHive(HivePath(hive), hive, parts,
                    [&](const Document& doc) { return ExportKey(doc, hive, parts); });
}

Registry CurrentRegistry() { return Registry(CurrentMachine()); }

}  // namespace plenova::platform
