// plenova-machine reg: query, add, delete and export registry keys and values, in the manner
// of Windows "reg".
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/file_io.h"
#include "platform/machine.h"
#include "platform/registry.h"
#include "tools/plenova_machine/machine_tool.h"

namespace plenova::machine_tool {
namespace {

namespace fs = std::filesystem;
using namespace plenova::platform;
using plenova::TerminalText;

constexpr const char* kNotFound = "The system was unable to find the specified registry key or value.";
constexpr const char* kDone = "The operation completed successfully.\n";

std::string TypeName(const RegistryValue& v) {
    switch (v.kind) {
        case ValueKind::String: return "REG_SZ";
        case ValueKind::Dword: return "REG_DWORD";
        case ValueKind::Other: break;
    }
    const std::string lower = plenova::FoldCase(v.text.substr(0, v.text.find(':')));
    if (lower == "hex") return "REG_BINARY";
    if (lower == "hex(2)") return "REG_EXPAND_SZ";
    if (lower == "hex(7)") return "REG_MULTI_SZ";
    if (lower == "hex(b)") return "REG_QWORD";
    if (lower == "hex(0)") return "REG_NONE";
    return "REG_UNKNOWN";
}

std::string DataText(const RegistryValue& v) {
    if (v.kind == ValueKind::String) return v.text;
    if (v.kind == ValueKind::Dword) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(v.dword));
        return buf;
    }
    const auto colon = v.text.find(':');
    return colon == std::string::npos ? v.text : v.text.substr(colon + 1);
}

void PrintValue(const RegistryValue& v) {
    std::cout << "    " << (v.name.empty() ? "(Default)" : TerminalText(v.name)) << "    "
              << TypeName(v) << "    " << TerminalText(DataText(v)) << "\n";
}

struct RegArgs {
    KeyPath key;
    std::optional<std::string> name;    // /v NAME or /ve ("")
    bool allValues = false;             // /va
    bool recurse = false;               // /s
    bool force = false;                 // /f or /y
    std::optional<std::string> data;    // /d
    std::string type = "REG_SZ";        // /t
    std::vector<std::string> positional;
};

// Parses the arguments after "reg <verb> KEY"; an error text on bad arguments.
std::optional<std::string> ParseRegArgs(const std::vector<std::string>& args, std::size_t start,
                                        RegArgs& out) {
    for (std::size_t i = start; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto needValue = [&](const char* what) -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::string("missing ") + what + " after " + a;
            return std::nullopt;
        };
        if (IsOption(a, "v")) {
            if (auto e = needValue("a value name")) return e;
            if (out.name) return std::string("give only one of /v and /ve");
            out.name = args[++i];
        } else if (IsOption(a, "ve")) {
            if (out.name) return std::string("give only one of /v and /ve");
            out.name = std::string();
        } else if (IsOption(a, "va")) {
            out.allValues = true;
        } else if (IsOption(a, "s")) {
            out.recurse = true;
        } else if (IsOption(a, "f") || IsOption(a, "y")) {
            out.force = true;
        } else if (IsOption(a, "d")) {
            if (auto e = needValue("the data")) return e;
            out.data = args[++i];
        } else if (IsOption(a, "t")) {
            if (auto e = needValue("a type")) return e;
            out.type = plenova::FoldCase(args[++i]);
            for (char& c : out.type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (out.type != "REG_SZ" && out.type != "REG_DWORD")
                return "unsupported type " + args[i] + " (REG_SZ or REG_DWORD)";
        } else if (a.size() >= 2 && a[0] == '/' && a.find('/', 1) == std::string::npos &&
                   a.find('\\') == std::string::npos) {
            return "unknown option " + a;
        } else {
            out.positional.push_back(a);
        }
    }
    return std::nullopt;
}

// The key's name as shown on the terminal.
std::string FullName(const KeyPath& k) {
    return k.key.empty() ? HiveName(k.hive) : HiveName(k.hive) + "\\" + TerminalText(k.key);
}

void QueryTree(const Registry& reg, Hive hive, const std::string& key, bool recurse, bool top) {
    auto values = reg.Values(hive, key);
    auto subkeys = reg.SubKeys(hive, key);
    if (!values || !subkeys) return;
    const KeyPath here{hive, key};
    if (top || recurse) {
        std::cout << "\n" << FullName(here) << "\n";
        for (const RegistryValue& v : *values) PrintValue(v);
    }
    for (const std::string& s : *subkeys) {
        const std::string child = key.empty() ? s : key + "\\" + s;
        if (recurse) {
            QueryTree(reg, hive, child, true, false);
        } else {
            std::cout << "\n" << FullName(KeyPath{hive, child});
        }
    }
    if (top && !recurse && !subkeys->empty()) std::cout << "\n";
}

int RegQuery(Registry& reg, const RegArgs& ra) {
    const Hive hive = ra.key.hive;
    const std::string& k = ra.key.key;
    if (!ra.positional.empty()) return Usage("unexpected argument " + ra.positional[0]);
    if (ra.data || ra.allValues) return Usage("reg query takes /v, /ve and /s only");
    if (!reg.KeyExists(hive, k)) return Fail(kNotFound);
    if (ra.name) {
        auto v = reg.QueryValue(hive, k, *ra.name);
        if (!v) return Fail(kNotFound);
        std::cout << "\n" << FullName(ra.key) << "\n";
        PrintValue(*v);
        std::cout << "\n";
        return kOk;
    }
    QueryTree(reg, hive, k, ra.recurse, true);
    std::cout << "\n";
    return kOk;
}

// The /d of a REG_DWORD (none is 0): decimal or 0x hex, 32 bits, no sign.
std::optional<std::uint32_t> ParseDword(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || errno != 0 || v > 0xFFFFFFFFull || text[0] == '-')
        return std::nullopt;
    return static_cast<std::uint32_t>(v);
}

int RegAdd(Registry& reg, RegArgs ra) {
    const Hive hive = ra.key.hive;
    const std::string& k = ra.key.key;
    if (!ra.positional.empty()) return Usage("unexpected argument " + ra.positional[0]);
    if (ra.allValues || ra.recurse) return Usage("reg add takes /v, /ve, /t, /d and /f only");
    if (!ra.name && ra.data) ra.name = std::string();  // data without a name: the default value
    if (!ra.name) {
        reg.CreateKey(hive, k);
        std::cout << kDone;
        return kOk;
    }
    std::uint32_t dword = 0;
    if (ra.type == "REG_DWORD") {
        const std::string text = ra.data.value_or("0");
        const auto parsed = ParseDword(text);
        if (!parsed)
            return Usage("REG_DWORD data must be a number 0 to 4294967295 (decimal or 0x hex): " + text);
        dword = *parsed;
    }
    if (reg.QueryValue(hive, k, *ra.name) && !ra.force &&
        !Confirm("Value " + (ra.name->empty() ? std::string("(Default)") : *ra.name) + " exists, overwrite"))
        return Fail("the value exists; add /f to overwrite it");
    if (ra.type == "REG_DWORD")
        reg.SetDword(hive, k, *ra.name, dword);
    else
        reg.SetString(hive, k, *ra.name, ra.data.value_or(""));
    std::cout << kDone;
    return kOk;
}

int RegDelete(Registry& reg, const RegArgs& ra) {
    const Hive hive = ra.key.hive;
    const std::string& k = ra.key.key;
    if (!ra.positional.empty()) return Usage("unexpected argument " + ra.positional[0]);
    if (ra.data || ra.recurse) return Usage("reg delete takes /v, /ve, /va and /f only");
    if (ra.name && ra.allValues) return Usage("give only one of /v, /ve and /va");
    if (!reg.KeyExists(hive, k)) return Fail(kNotFound);
    if (ra.name) {
        if (!reg.QueryValue(hive, k, *ra.name)) return Fail(kNotFound);
        if (!ra.force && !Confirm("Delete the registry value " + *ra.name)) return Fail("not deleted; add /f");
        reg.DeleteValue(hive, k, *ra.name);
    } else if (ra.allValues) {
        if (!ra.force && !Confirm("Delete all values under " + FullName(ra.key))) return Fail("not deleted; add /f");
        for (const RegistryValue& v : reg.Values(hive, k).value_or(std::vector<RegistryValue>{}))
            reg.DeleteValue(hive, k, v.name);
    } else {
        if (k.empty()) return Fail("the root key of a hive cannot be deleted");
        if (!ra.force && !Confirm("Permanently delete the registry key " + FullName(ra.key)))
            return Fail("not deleted; add /f");
        reg.DeleteKey(hive, k);
    }
    std::cout << kDone;
    return kOk;
}

int RegExport(Registry& reg, const RegArgs& ra) {
    if (ra.positional.size() != 1) return Usage("reg export needs KEY and FILE");
    if (ra.name || ra.data || ra.allValues || ra.recurse) return Usage("reg export takes /y only");
    auto text = reg.Export(ra.key.hive, ra.key.key);
    if (!text) return Fail(kNotFound);
    const std::string& file = ra.positional[0];
    if (file == "-") {
        std::cout << *text << std::flush;
        return std::cout ? kOk : kFailed;
    }
    std::error_code ec;
    if (fs::exists(file, ec) && !ra.force && !Confirm("File " + file + " exists, overwrite"))
        return Fail("the file exists; add /y to overwrite it");
    // Owner only, like the hives: an export may hold the stored password.
    try {
        ReplaceFile(file, *text, 0600);
    } catch (const FileError& e) {
        return Fail(e.what());
    }
    std::cout << kDone;
    return kOk;
}

}  // namespace

int RegCommand(const std::vector<std::string>& args) {
    if (args.size() < 2) return Usage("reg needs an operation: query, add, delete or export");
    const std::string verb = plenova::FoldCase(args[1]);
    if (verb != "query" && verb != "add" && verb != "delete" && verb != "export")
        return Usage("unknown reg operation " + args[1]);
    if (args.size() < 3) return Usage("reg " + verb + " needs a KEY");
    RegArgs ra;
    auto key = ParseKeyPath(args[2]);
    if (!key) return Usage("invalid key " + args[2] + " (it must begin with HKCU, HKEY_CURRENT_USER, HKLM or HKEY_LOCAL_MACHINE)");
    ra.key = *key;
    if (auto problem = ParseRegArgs(args, 3, ra)) return Usage(*problem);

    Registry reg(CurrentMachine());
    if (verb == "query") return RegQuery(reg, ra);
    if (verb == "add") return RegAdd(reg, ra);
    if (verb == "delete") return RegDelete(reg, ra);
    return RegExport(reg, ra);
}

}  // namespace plenova::machine_tool
