// The hive reader on arbitrary bytes, without files: every input ends in a document or a reason
// why the hive is damaged, never a crash; what a read finds survives an export read back and a
// write on top, as the registry's calls do them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry_format.h"

using namespace plenova::platform;
using namespace plenova::platform::registry_format;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// The root's subkeys and values.
struct Top {
    std::vector<std::string> keys;
    std::vector<RegistryValue> values;
};

Top TopOf(const Document& doc) { return Top{SubKeyNames(doc.root), ValuesOf(doc.root)}; }

bool Same(const RegistryValue& a, const RegistryValue& b) {
    return a.name == b.name && a.kind == b.kind && a.text == b.text && a.dword == b.dword;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // A reader keeps only the values below the key it asks for; the root's: all of them.
    const std::vector<std::string> root;
    ParsedHive read = ParseHive(bytes, Hive::CurrentUser, &root);
    if (!read.doc) {
        Check(!read.damage.empty());
        // A writer finds the same damage.
        Check(!ParseHive(bytes, Hive::CurrentUser).doc);
        return 0;
    }
    const Top top = TopOf(*read.doc);

    // The export of the whole hive, read as a hive, holds the same keys and values.
    std::optional<std::string> text;
    try {
        text = ExportKey(*read.doc, Hive::CurrentUser, root);
    } catch (const RegistryError&) {
        // Too large as text.
    }
    if (text) {
        const ParsedHive again = ParseHive(*text, Hive::CurrentUser, &root);
        Check(again.doc.has_value());
        const Top copy = TopOf(*again.doc);
        Check(copy.keys == top.keys && copy.values.size() == top.values.size());
        for (std::size_t i = 0; i < top.values.size(); ++i)
            Check(Same(top.values[i], copy.values[i]));
    }

    // A write keeps what was there and is read back.
    ParsedHive whole = ParseHive(bytes, Hive::CurrentUser);
    Check(whole.doc.has_value());
    Key* written = FindOrCreateKey(*whole.doc, CheckedNewKey("Fuzz\\Written"));
    SetValue(*written, RegistryValue{"Value", ValueKind::String, "x", 0});
    const std::optional<std::string> saved = Serialise(*whole.doc, Hive::CurrentUser);
    if (!saved) return 0;  // too large to write: the file would stay as it was
    const ParsedHive after = ParseHive(*saved, Hive::CurrentUser);
    Check(after.doc.has_value());
    const Key* k = FindKey(after.doc->root, SplitKey("fuzz\\written"));
    Check(k != nullptr);
    const std::ptrdiff_t at = k->ValueIndex("value");
    Check(at >= 0);
    const RegistryValue value = ValueOf(k->entries[static_cast<std::size_t>(at)]);
    Check(value.kind == ValueKind::String && value.text == "x");
    for (const std::string& key : top.keys)
        Check(FindKey(after.doc->root, std::vector<std::string>{key}) != nullptr);
    return 0;
}
