// The per-user settings store shared by the saver and the setup program: text values addressed
// by application, section and key, kept in the registry branch
// HKEY_CURRENT_USER\Software\<application>\<section>, one string value per key.
//
// There is no cache: every read asks the hive file, every write has reached it when it returns,
// so a value written by one window or process is seen by the next reader at once.
//
// Reading never fails: a missing application, section or key, a value of another kind, an
// application or section name that cannot name a key (empty, or with an empty "\" component
// or a control character), and a hive that cannot be read all give the caller's default, and
// nothing is written back. Writing never reports a failure to the caller: a write the store
// refuses (invalid names, unwritable hive) leaves the store as it was. A damaged hive found by
// either is moved aside by the registry and its message written to standard error.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/registry.h"

namespace plenova::platform {

class SettingsStore {
public:
    // The store of CurrentMachine() (looked up at every call, so a test's ScopedMachine
    // applies to stores made before it).
    SettingsStore();
    // The store in a given registry.
    explicit SettingsStore(Registry registry);

    std::string ReadSetting(std::string_view application, std::string_view section,
                            std::string_view key, std::string_view defaultText) const;
    // Stores the value, creating the application and the section when missing.
    void WriteSetting(std::string_view application, std::string_view section,
                      std::string_view key, std::string_view value) const;

    // Several values of one section in one write, as one WriteSetting each would store them.
    void WriteSettings(std::string_view application, std::string_view section,
                       std::span<const std::pair<std::string_view, std::string_view>> values) const;
    // Every string value of a section as (key, value), in file order, with one read of the
    // store; empty when the section is missing.
    std::vector<std::pair<std::string, std::string>> ReadSection(std::string_view application,
                                                                 std::string_view section) const;

    // For the setup program's uninstall log. None of these fails loudly either.
    // Deletes one value; false when it was not there or the delete was refused.
    bool DeleteSetting(std::string_view application, std::string_view section,
                       std::string_view key) const;
    // Deletes a whole section with its values; false when it was not there or refused.
    bool DeleteSection(std::string_view application, std::string_view section) const;
    // Deletes the application's whole branch; false when it was not there or refused.
    bool DeleteApplication(std::string_view application) const;
    // True when the application has a branch (it may hold no section).
    bool ApplicationExists(std::string_view application) const;
    // Name of the section number `index` (from 0, in file order); empty optional when there
    // is none, or the application is missing.
    std::optional<std::string> SectionName(std::string_view application, std::size_t index) const;
    // All section names of the application, in file order (empty when missing).
    std::vector<std::string> Sections(std::string_view application) const;

    // "Software\<application>\<section>", or an empty optional when the names cannot form a
    // key of their own (empty names, empty components, control characters).
    static std::optional<std::string> BranchKey(std::string_view application,
                                                std::string_view section);

private:
    Registry Store() const;
    std::optional<Registry> registry_;
};

// The store of the process's current machine.
std::string ReadSetting(std::string_view application, std::string_view section,
                        std::string_view key, std::string_view defaultText);
void WriteSetting(std::string_view application, std::string_view section, std::string_view key,
                  std::string_view value);

}  // namespace plenova::platform
