// The hive reader on arbitrary files: every input ends in a read, a clear error or a damaged
// hive moved aside, never a crash; what a read finds survives an export read back and a write.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/registry.h"

namespace fs = std::filesystem;
using namespace plenova::platform;

namespace {

// On tmpfs when there is one: each run saves, and fsync there costs nothing.
const fs::path& Folder() {
    static const fs::path folder = [] {
        const fs::path base =
            fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "plenova-hive-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        return fs::path(pattern);
    }();
    return folder;
}

void Put(const fs::path& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void Clear() {
    for (const auto& e : fs::directory_iterator(Folder())) fs::remove(e.path());
}

// The root's subkeys and values, or none when the hive was damaged.
struct Top {
    std::vector<std::string> keys;
    std::vector<RegistryValue> values;
};

std::optional<Top> ReadTop(const Registry& reg) {
    try {
        Top top{*reg.SubKeys(Hive::CurrentUser, ""), *reg.Values(Hive::CurrentUser, "")};
        return top;
    } catch (const DamagedHiveError&) {
        return std::nullopt;
    }
}

bool Same(const RegistryValue& a, const RegistryValue& b) {
    return a.name == b.name && a.kind == b.kind && a.text == b.text && a.dword == b.dword;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Clear();
    const fs::path hive = Folder() / "user.reg";
    Put(hive, data, size);
    Registry reg(hive, Folder() / "system.reg");
    const auto top = ReadTop(reg);
    if (!top) return 0;

    // The export of the whole hive, read as a hive, holds the same keys and values.
    std::optional<std::string> text;
    try {
        text = reg.Export(Hive::CurrentUser, "");
    } catch (const DamagedHiveError&) {
        std::abort();  // the file was read a moment ago
    } catch (const RegistryError&) {
        // Too large as text.
    }
    if (text) {
        const fs::path copy = Folder() / "copy.reg";
        Put(copy, reinterpret_cast<const std::uint8_t*>(text->data()), text->size());
        const auto again = ReadTop(Registry(copy, Folder() / "system.reg"));
        if (!again || again->keys != top->keys || again->values.size() != top->values.size())
            std::abort();
        for (std::size_t i = 0; i < top->values.size(); ++i)
            if (!Same(top->values[i], again->values[i])) std::abort();
    }

    // A write keeps what was there and is read back.
    try {
        reg.SetString(Hive::CurrentUser, "Fuzz\\Written", "Value", "x");
    } catch (const RegistryError&) {
        return 0;  // too large to write: the file must be as it was
    }
    if (reg.QueryString(Hive::CurrentUser, "fuzz\\written", "value") != "x") std::abort();
    const auto after = ReadTop(reg);
    if (!after) std::abort();
    for (const auto& key : top->keys)
        if (!reg.KeyExists(Hive::CurrentUser, key)) std::abort();
    return 0;
}
