// The text of one hive as pure functions over its bytes: the .reg codec, the key tree a hive is
// read into (with the name index that finds a subkey or value in constant time), reading and
// writing that text, and the limits. The layout, the value forms and the limits are those that
// platform/registry.h describes. Nothing here touches a file, a lock or the clock: the hive
// files and what happens to a damaged one are platform/registry.cpp's; fuzzers and tools may
// call these directly.
//
// Reading (ParseHive) costs time and memory in proportion to the text's size whatever its shape:
// no recursion follows the depth of the key tree, and freeing a document never walks it.
// Writing (Serialise, ExportKey) gives nothing rather than a text larger than a hive may be.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plenova::platform {

enum class Hive { CurrentUser, LocalMachine };

// "HKEY_CURRENT_USER" / "HKEY_LOCAL_MACHINE".
std::string HiveName(Hive hive);

// A failed registry operation; what() is a message a caller can show to a user.
class RegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class ValueKind { String, Dword, Other };

struct RegistryValue {
    std::string name;        // "" for the default value
    ValueKind kind = ValueKind::String;
    std::string text;        // String: the text; Other: the raw data text after "="
    std::uint32_t dword = 0; // Dword
};

// Splits "HKCU\Software\X" (or HKEY_CURRENT_USER, HKLM, HKEY_LOCAL_MACHINE; any letter case;
// "\" or "/" after the root) into the hive and the relative key path. Empty optional for an
// unknown root or an invalid key path.
struct KeyPath {
    Hive hive = Hive::CurrentUser;
    std::string key;
};
std::optional<KeyPath> ParseKeyPath(std::string_view fullKey);

// True when `key` is a valid relative key path (see platform/registry.h); the empty text is
// valid.
bool IsValidKeyPath(std::string_view key);

namespace registry_format {

// The first line of every hive file and every export.
inline constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
// The largest hive text, read or written, and the largest export.
inline constexpr std::size_t kMaxHiveBytes = 64u << 20;

// Positions in a long list by folded name (defined with the code that builds it).
class NameIndex;

// A value, or a line kept verbatim. Small, since a key may hold millions: the name and the
// text share one string, split by a NUL, which neither may hold.
struct Entry {
    std::string data;
    std::uint32_t dword = 0;  // Dword
    ValueKind kind = ValueKind::String;
    bool isValue = false;
    bool verbatim = false;  // unknown lines and values of kind Other, written back as read

    // Value name as first written; "" for lines kept verbatim.
    std::string_view Name() const {
        if (!isValue) return {};
        return std::string_view(data).substr(0, data.find('\0'));
    }
    // String: the text; verbatim: the lines as read, joined by "\n".
    std::string_view Text() const {
        if (!isValue) return data;
        return std::string_view(data).substr(data.find('\0') + 1);
    }
    void Set(std::string_view name, std::string_view text) {
        std::string both;
        both.reserve(name.size() + 1 + text.size());
        both.append(name).push_back('\0');
        both.append(text);
        data = std::move(both);
    }
};

// One key: its subkeys and its entries in file order. Names are matched without regard to
// letter case; long lists are indexed so that a lookup does not depend on their length.
struct Key {
    std::string name;
    std::vector<Key*> children;  // in file order; owned by the document
    std::vector<Entry> entries;  // in file order
    std::unique_ptr<NameIndex> childIndex;
    std::unique_ptr<NameIndex> valueIndex;  // a value name leads to its last entry

    Key();
    ~Key();
    Key(Key&&) noexcept;
    Key& operator=(Key&&) noexcept;

    // The direct subkey of that name, or null.
    Key* Child(std::string_view childName) const;
    void LinkChild(Key* child);
    // False when there is no such child.
    bool UnlinkChild(std::string_view childName);
    void ReindexChildren();

    // Index of the value entry that counts for `valueName` (the last one), or -1.
    std::ptrdiff_t ValueIndex(std::string_view valueName) const;
    // Room for `more` entries, so that a long list is not moved as it grows.
    void Reserve(std::size_t more);
    void AddEntry(Entry e);
    // Removes every value entry of that name; false when there was none.
    bool RemoveValue(std::string_view valueName);
    // After entries were removed, or before many are added.
    void ReindexValues(std::size_t expected = 0);
};

// The keys below the root live in one flat list and point to their children without owning
// them: freeing a document never walks the tree, however deep a file made it, and a deleted
// subtree is merely unlinked.
struct Document {
    std::vector<std::string> preamble;  // lines before the first key
    Key root;
    std::vector<std::string> foreign;  // sections this hive cannot address, verbatim
    std::deque<Key> keys;

    Key* AddKey(Key& parent, std::string_view name) {
        Key& k = keys.emplace_back();
        k.name = name;
        parent.LinkChild(&k);
        return &k;
    }
};

// The key at `parts` (key path components) below `root`, or null.
template <class Parts>
Key* FindKey(const Key& root, const Parts& parts) {
    const Key* k = &root;
    for (const auto& p : parts) {
        k = k->Child(p);
        if (!k) return nullptr;
    }
    return const_cast<Key*>(k);
}

// The key at `parts`, made with its missing parents; `*created` is set when one was made.
template <class Parts>
Key* FindOrCreateKey(Document& doc, const Parts& parts, bool* created = nullptr) {
    Key* k = &doc.root;
    for (const auto& p : parts) {
        Key* next = k->Child(p);
        if (!next) {
            next = doc.AddKey(*k, p);
            if (created) *created = true;
        }
        k = next;
    }
    return k;
}

// ----- key paths and names given by callers ----------------------------------------------------

// The components of a key path ("" has none); `key` need not be valid.
std::vector<std::string> SplitKey(std::string_view key);
// The components of a valid key path; std::invalid_argument otherwise.
std::vector<std::string> CheckedKey(std::string_view key);
// The components of a key path that a write may create: valid and within the limits;
// std::invalid_argument otherwise.
std::vector<std::string> CheckedNewKey(std::string_view key);
// std::invalid_argument unless `name` can name a value (UTF-8, no control character other than
// tab, within the limits).
void CheckValueName(std::string_view name);

// ----- values ------------------------------------------------------------------------------------

// The value an entry holds. Values of kind Other keep only their lines; their data text is read
// from those again when asked for.
RegistryValue ValueOf(const Entry& e);
bool SameValue(const RegistryValue& a, const RegistryValue& b);
// Sets the value, adding it when missing. An existing value keeps the case of its name, and its
// earlier duplicates go.
void SetValue(Key& key, RegistryValue value);
// Names of the direct subkeys, in file order.
std::vector<std::string> SubKeyNames(const Key& key);
// The values that count (the last of each name), in file order.
std::vector<RegistryValue> ValuesOf(const Key& key);

// ----- whole texts -------------------------------------------------------------------------------

// The content of a hive's text, or why it is damaged (the text as a whole cannot be read: see
// platform/registry.h). Exactly one of `doc` and `damage` is set.
struct ParsedHive {
    std::optional<Document> doc;
    std::string damage;  // "it contains a NUL byte", ...
};
// Reads a hive's bytes; the empty text is an empty hive. With `only` (case-folded key
// components), values are kept only for that key and its subtree: a reader needs no more, and
// the rest of a large hive then costs little memory. Such a partial document is never to be
// written back. The damage found is the same with `only` or without.
ParsedHive ParseHive(std::string_view text, Hive hive,
                     const std::vector<std::string>* only = nullptr);
// The hive's text, written with LF; none when it would be larger than kMaxHiveBytes.
std::optional<std::string> Serialise(const Document& doc, Hive hive);
// The key at `parts` and its whole subtree as .reg text (header line, blank line, then each key
// with its values, a blank line after each key); none when the key is missing. RegistryError
// when the text would be larger than kMaxHiveBytes.
std::optional<std::string> ExportKey(const Document& doc, Hive hive,
                                     const std::vector<std::string>& parts);

}  // namespace registry_format

}  // namespace plenova::platform
