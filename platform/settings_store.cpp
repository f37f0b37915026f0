#include "platform/settings_store.h"

#include <cstdio>
#include <exception>

#include "platform/machine.h"

namespace plenova::platform {

namespace {

constexpr Hive kHive = Hive::CurrentUser;

void Report(const DamagedHiveError& e) { std::fprintf(stderr, "%s\n", e.what()); }

// Runs a store operation; any failure gives `fallback`. A damaged hive is reported (it has
// been moved aside by then); a write is then tried once more on the fresh, empty hive so that
// the value the user just chose is not lost with the damaged file.
template <class F, class T>
T Guarded(F&& operation, T fallback, bool retryAfterDamage) {
    try {
        return operation();
    } catch (const DamagedHiveError& e) {
        Report(e);
        if (!retryAfterDamage) return fallback;
        try {
            return operation();
        } catch (const std::exception&) {  // still damaged: the default
            return fallback;
        }
    } catch (const std::exception&) {  // unreadable: the default
        return fallback;
    }
}

std::optional<std::string> ApplicationKey(std::string_view application) {
    if (application.empty()) return std::nullopt;
    std::string key = "Software\\" + std::string(application);
    if (!IsValidKeyPath(key)) return std::nullopt;
    return key;
}

}  // namespace

SettingsStore::SettingsStore() = default;

SettingsStore::SettingsStore(Registry registry) : registry_(std::move(registry)) {}

Registry SettingsStore::Store() const { return registry_ ? *registry_ : CurrentRegistry(); }

std::optional<std::string> SettingsStore::BranchKey(std::string_view application, std::string_view section) {
    auto app = ApplicationKey(application);
    if (!app || section.empty()) return std::nullopt;
    std::string key = *app + "\\" + std::string(section);
    if (!IsValidKeyPath(key)) return std::nullopt;
    return key;
}

std::string SettingsStore::ReadSetting(std::string_view application, std::string_view section,
                                       std::string_view key, std::string_view defaultText) const {
    auto branch = BranchKey(application, section);
    if (!branch || key.empty()) return std::string(defaultText);
    return Guarded(
        [&] { return Store().QueryString(kHive, *branch, key).value_or(std::string(defaultText)); },
        std::string(defaultText), false);
}

void SettingsStore::WriteSetting(std::string_view application, std::string_view section,
                                 std::string_view key, std::string_view value) const {
    auto branch = BranchKey(application, section);
    if (!branch || key.empty()) return;  // cannot name a setting: refused, silently
    Guarded(
        [&] {
            Store().SetString(kHive, *branch, key, value);
            return true;
        },
        false, true);
}

void SettingsStore::WriteSettings(
    std::string_view application, std::string_view section,
    std::span<const std::pair<std::string_view, std::string_view>> values) const {
    auto branch = BranchKey(application, section);
    if (!branch || values.empty()) return;
    for (const auto& value : values)
        if (value.first.empty()) return;  // cannot name a setting: refused, silently
    Guarded(
        [&] {
            Store().SetStrings(kHive, *branch, values);
            return true;
        },
        false, true);
}

std::vector<std::pair<std::string, std::string>> SettingsStore::ReadSection(
    std::string_view application, std::string_view section) const {
    using Settings = std::vector<std::pair<std::string, std::string>>;
    auto branch = BranchKey(application, section);
    if (!branch) return {};
    return Guarded(
        [&] {
            Settings settings;
            for (RegistryValue& v : Store().Values(kHive, *branch).value_or(
                     std::vector<RegistryValue>{}))
                if (v.kind == ValueKind::String && !v.name.empty())
                    settings.emplace_back(std::move(v.name), std::move(v.text));
            return settings;
        },
        Settings{}, false);
}

bool SettingsStore::DeleteSetting(std::string_view application, std::string_view section,
                                  std::string_view key) const {
    auto branch = BranchKey(application, section);
    if (!branch || key.empty()) return false;
    return Guarded([&] { return Store().DeleteValue(kHive, *branch, key); }, false, false);
}

bool SettingsStore::DeleteSection(std::string_view application, std::string_view section) const {
    auto branch = BranchKey(application, section);
    if (!branch) return false;
    return Guarded([&] { return Store().DeleteKey(kHive, *branch); }, false, false);
}

bool SettingsStore::DeleteApplication(std::string_view application) const {
    auto app = ApplicationKey(application);
    if (!app) return false;
    return Guarded([&] { return Store().DeleteKey(kHive, *app); }, false, false);
}

bool SettingsStore::ApplicationExists(std::string_view application) const {
    auto app = ApplicationKey(application);
    if (!app) return false;
    return Guarded([&] { return Store().KeyExists(kHive, *app); }, false, false);
}

std::vector<std::string> SettingsStore::Sections(std::string_view application) const {
    auto app = ApplicationKey(application);
    if (!app) return {};
    return Guarded([&] { return Store().SubKeys(kHive, *app).value_or(std::vector<std::string>{}); },
                   std::vector<std::string>{}, false);
}

std::optional<std::string> SettingsStore::SectionName(std::string_view application, std::size_t index) const {
    auto sections = Sections(application);
    if (index >= sections.size()) return std::nullopt;
    return sections[index];
}

std::string ReadSetting(std::string_view application, std::string_view section, std::string_view key,
                        std::string_view defaultText) {
    return SettingsStore().ReadSetting(application, section, key, defaultText);
}

void WriteSetting(std::string_view application, std::string_view section, std::string_view key,
                  std::string_view value) {
    SettingsStore().WriteSetting(application, section, key, value);
}

}  // namespace plenova::platform
