// Hooks the hack up with XScreenSaver in one step: `plenova-saver --xscreensaver-install` puts
// the hack's line into the "programs:" list of ~/.xscreensaver, where XScreenSaver's daemon and
// its settings app find it. Where the file is missing it is made first, with the system's own
// list of hacks (its app-defaults file), so that nothing the user had is lost. Running it again
// changes nothing: the line that runs a program named "plenova" (or this program) is updated in
// its place.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plenova::saver::XScreenSaverInstall {

// The entries of the "programs:" resource in an XScreenSaver resource text (a user's
// ~/.xscreensaver, or the app-defaults file with "*programs:"), each without its surrounding
// blanks; none when the text has no such resource.
std::optional<std::vector<std::string>> ProgramEntries(std::string_view text);

// True when the entry ("[-] [visual:] command args") runs a program named "plenova", or
// `program` itself.
bool IsPlenovaEntry(std::string_view entry, std::string_view program);

// The user's file with `command` in its programs list: an existing entry of ours replaced in
// its place (later duplicates dropped), else the command as the list's first entry. Without a
// user file (nullopt), a new one from the system's list of hacks (`systemDefaults`; none when
// nullopt). The result of a second call with its own output is that output.
std::string WithProgram(const std::optional<std::string>& userFile,
                        const std::optional<std::string>& systemDefaults,
                        std::string_view command);

// The hack's program for the programs line, found from the running program file: the program
// itself when it lies in a hack folder (".../xscreensaver/plenova"), else
// <prefix>/libexec/xscreensaver/plenova beside an installed medium (<prefix>/lib/plenova/...)
// when that exists, else the program file itself.
std::filesystem::path HackProgram(const std::filesystem::path& programFile);

// Updates ~/.xscreensaver ($HOME) for the program `programFile`; reports what it did on
// standard output and a failure on standard error. The exit status for the command.
int Run(const std::filesystem::path& programFile);

}  // namespace plenova::saver::XScreenSaverInstall
