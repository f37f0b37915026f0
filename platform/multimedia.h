// The multimedia command service: a small interpreter of command texts, with the two sends of
// the classic library (mciSendString, mciExecute). Sounds are opened under an alias and played
// through the installed audio back end (audio_device.h).
//
// Commands (keywords and aliases without regard to letter case; words separated by blanks):
//   open <file> alias <name>   the file is everything between "open " and the last " alias ",
//                              so a path with blanks is taken whole; a path in double quotes
//                              loses them. Without " alias " the whole rest is the name.
//   play <name> [notify]       plays from the current position to the end ("notify" is taken
//                              but nothing is notified: no window is ever named)
//   stop <name> | pause <name> | resume <name>
//   seek <name> to start|end|<milliseconds>
//   status <name> mode|position|length|ready   mode: "playing", "stopped" or "paused";
//                              position and length in milliseconds; ready: "true"
//   close <name> | close all
// Every failure is answered with an error code (below) and its text; nothing ever crashes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio_device.h"
#include "platform/service_slot.h"

namespace plenova::platform {

// Error codes, numbered as in the classic library.
namespace mci {
inline constexpr std::uint32_t kOk = 0;
inline constexpr std::uint32_t kUnrecognizedKeyword = 259;
inline constexpr std::uint32_t kUnrecognizedCommand = 261;
inline constexpr std::uint32_t kHardware = 262;
inline constexpr std::uint32_t kInvalidDeviceName = 263;
inline constexpr std::uint32_t kOutOfMemory = 264;
inline constexpr std::uint32_t kMissingCommandString = 267;
inline constexpr std::uint32_t kParamOverflow = 268;
inline constexpr std::uint32_t kBadInteger = 270;
inline constexpr std::uint32_t kMissingParameter = 273;
inline constexpr std::uint32_t kFileNotFound = 275;
inline constexpr std::uint32_t kOutOfRange = 282;
inline constexpr std::uint32_t kDuplicateAlias = 289;
inline constexpr std::uint32_t kMissingDeviceName = 292;
inline constexpr std::uint32_t kInvalidFile = 296;
inline constexpr std::uint32_t kExtraCharacters = 305;
inline constexpr std::uint32_t kWaveOutputsUnsuitable = 322;
}  // namespace mci

// The text of an error code, as the service shows it ("The specified device is not open or is
// not recognized by MCI." for kInvalidDeviceName); a generic text for codes it does not know.
std::string MciErrorText(std::uint32_t code);

// One command as it reached the service.
struct MciRecord {
    enum class Way { Send, Execute };
    Way way = Way::Send;
    std::string command;
    std::uint32_t result = 0;
    std::string reply;  // the reply text (silent send only; may be empty)
};

class MultimediaService {
public:
    // A service with its own back end; nullptr: AudioBackendFromEnvironment().
    explicit MultimediaService(std::shared_ptr<AudioBackend> backend = nullptr);
    ~MultimediaService();
    MultimediaService(const MultimediaService&) = delete;
    MultimediaService& operator=(const MultimediaService&) = delete;

    // Silent send (mciSendString): runs the command, returns 0 or an error code, shows nothing.
    // When `reply` is given it receives the reply text (empty for commands without one), cut to
    // replyCapacity - 1 characters as a classic return buffer of that size holds; a reply that
    // does not fit gives kParamOverflow. replyCapacity 0 means no reply wanted.
    std::uint32_t SendString(const std::string& command, std::string* reply = nullptr,
                             std::size_t replyCapacity = 80);
    // Reporting send (mciExecute): runs the command; on failure shows MciErrorText(code) in one
    // modal box (OK button, exclamation icon, caption ReportCaption()) through MessageBoxes().
    // Returns true on success; callers may ignore it.
    bool Execute(const std::string& command);

    // Caption of the boxes of Execute. Default: the Qt application name when a Qt application
    // object exists and has one, else "MCI".
    void SetReportCaption(std::string caption) { reportCaption_ = std::move(caption); }
    std::string ReportCaption() const;

    // Replaces the back end; every open device is closed first.
    void SetBackend(std::shared_ptr<AudioBackend> backend);
    std::shared_ptr<AudioBackend> Backend() const { return backend_; }
    // Closes every open device (also done by the destructor).
    void CloseAll();
    // Aliases now open, in folded (lower) case, sorted.
    std::vector<std::string> OpenAliases() const;

    // The commands sent through this service, in order. ClearRecords forgets them. A long-running
    // program sends a status query every few milliseconds, so only the most recent ones are kept:
    // when kMaxRecords are reached, the older half is dropped.
    static constexpr std::size_t kMaxRecords = 65536;
    const std::vector<MciRecord>& Records() const { return records_; }
    void ClearRecords() { records_.clear(); }
    // Called after each command with its record (in addition to Records and the log file).
    void SetObserver(std::function<void(const MciRecord&)> observer) {
        observer_ = std::move(observer);
    }
    // Appends one line per command to this file: way ("send" or "execute"), tab, result code,
    // tab, command text. Empty: no file. The default comes from PLENOVA_MCI_LOG.
    void SetLogFile(std::string path) { logFile_ = std::move(path); }

private:
    std::uint32_t Run(const std::string& command, std::string& reply);
    std::uint32_t Open(const std::string& rest);
    void Record(MciRecord record);

    std::shared_ptr<AudioBackend> backend_;
    std::map<std::string, std::unique_ptr<AudioDevice>> devices_;  // by folded alias
    std::vector<MciRecord> records_;
    std::function<void(const MciRecord&)> observer_;
    std::string logFile_;
    std::string reportCaption_;
};

// The process-wide service (created on first use with the back end of the environment).
MultimediaService& Multimedia();
// Installs a back end in the process-wide service (closing its devices); returns the previous.
std::shared_ptr<AudioBackend> SetAudioBackend(std::shared_ptr<AudioBackend> backend);

// The two sends on the process-wide service.
inline std::uint32_t MciSendString(const std::string& command, std::string* reply = nullptr,
                                   std::size_t replyCapacity = 80) {
    return Multimedia().SendString(command, reply, replyCapacity);
}
inline void MciExecute(const std::string& command) { Multimedia().Execute(command); }

// Installs a TestAudioBackend (manual mode) in the process-wide service for the lifetime of the
// object, clears the records, and restores the previous back end at the end.
class ScopedTestAudio : public ScopedService<AudioBackend, TestAudioBackend, &SetAudioBackend> {
public:
    explicit ScopedTestAudio(std::int64_t lengthMs = 1000);
};

}  // namespace plenova::platform
