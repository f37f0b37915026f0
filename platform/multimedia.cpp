#include "platform/multimedia.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string_view>

#include <QCoreApplication>

#include "base/text.h"
#include "platform/message_box.h"

namespace plenova::platform {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::vector<std::string> Words(std::string_view s) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && IsBlank(s[i])) ++i;
        const std::size_t start = i;
        while (i < s.size() && !IsBlank(s[i])) ++i;
        if (i > start) words.emplace_back(s.substr(start, i - start));
    }
    return words;
}

// Everything after the listed words must be "notify" (accepted; nothing is ever notified, since
// no window is named) — anything else is an unknown keyword.
std::uint32_t OnlyNotify(const std::vector<std::string>& words, std::size_t from) {
    for (std::size_t i = from; i < words.size(); ++i) {
        if (FoldAscii(words[i]) != "notify") return mci::kUnrecognizedKeyword;
    }
    return mci::kOk;
}

bool ParseMilliseconds(const std::string& text, std::int64_t& value) {
    if (text.empty() || text.size() > 15) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

std::int64_t FramesToMs(std::int64_t frames, int rate) {
    return rate > 0 ? frames * 1000 / rate : 0;
}

const char* ModeText(AudioMode mode) {
    switch (mode) {
        case AudioMode::Playing: return "playing";
        case AudioMode::Paused: return "paused";
        case AudioMode::Stopped: return "stopped";
    }
    return "stopped";
}

}  // namespace

std::string MciErrorText(std::uint32_t code) {
    switch (code) {
        case mci::kOk: return "The specified command was carried out.";
        case mci::kUnrecognizedKeyword:
            return "The driver cannot recognize the specified command parameter.";
        case mci::kUnrecognizedCommand: return "The driver cannot recognize the specified command.";
        case mci::kHardware:
            return "There is a problem with your media device. Make sure it is working correctly "
                   "or contact the device manufacturer.";
        case mci::kInvalidDeviceName:
            return "The specified device is not open or is not recognized by MCI.";
        case mci::kOutOfMemory:
            return "There is not enough memory available for this task. Quit one or more "
                   "applications to increase available memory, and then try again.";
        case mci::kMissingCommandString: return "No command was specified.";
        case mci::kParamOverflow:
            return "The output string was too large to fit in the return buffer. Increase the "
                   "size of the buffer.";
        case mci::kBadInteger: return "The specified integer is invalid for this command.";
        case mci::kMissingParameter:
            return "The specified command requires a parameter. Please supply one.";
        case mci::kFileNotFound:
            return "Cannot find the specified file. Make sure the path and filename are correct.";
        case mci::kOutOfRange:
            return "The specified parameter is out of range for the specified command.";
        case mci::kDuplicateAlias:
            return "The specified alias is already being used in this application. Use a unique "
                   "alias.";
        case mci::kMissingDeviceName:
            return "The specified command requires an alias, file, driver, or device name. Please "
                   "supply one.";
        case mci::kInvalidFile:
            return "The specified file cannot be played on the specified MCI device. The file may "
                   "be corrupt, not in the correct format, or no file handler available for this "
                   "format.";
        case mci::kExtraCharacters:
            return "The command has more characters than its parameters take.";
        case mci::kWaveOutputsUnsuitable:
            return "No wave device that can play files in the current format is installed. Use "
                   "the Drivers option to install the wave device.";
        default: break;
    }
    return "Unknown multimedia error " + std::to_string(code) + ".";
}

MultimediaService::MultimediaService(std::shared_ptr<AudioBackend> backend)
    : backend_(backend ? std::move(backend) : AudioBackendFromEnvironment()) {}

MultimediaService::~MultimediaService() { CloseAll(); }

void MultimediaService::SetBackend(std::shared_ptr<AudioBackend> backend) {
    CloseAll();
    backend_ = backend ? std::move(backend) : AudioBackendFromEnvironment();
}

void MultimediaService::CloseAll() { devices_.clear(); }

std::vector<std::string> MultimediaService::OpenAliases() const {
    std::vector<std::string> aliases;
    for (const auto& entry : devices_) aliases.push_back(entry.first);
    return aliases;
}

std::string MultimediaService::ReportCaption() const {
    if (!reportCaption_.empty()) return reportCaption_;
    if (QCoreApplication::instance() != nullptr) {
        const std::string name = QCoreApplication::applicationName().toStdString();
        if (!name.empty()) return name;
    }
    return "MCI";
}

std::uint32_t MultimediaService::SendString(const std::string& command, std::string* reply,
                                            std::size_t replyCapacity) {
    std::string text;
    std::uint32_t rc = Run(command, text);
    if (rc == mci::kOk && replyCapacity > 0 && text.size() > replyCapacity - 1) {
        // A classic return buffer holds capacity - 1 characters and the terminator.
        text.resize(replyCapacity - 1);
        rc = mci::kParamOverflow;
    }
    if (replyCapacity == 0) text.clear();
    if (reply != nullptr) *reply = text;
    Record({MciRecord::Way::Send, command, rc, text});
    return rc;
}

bool MultimediaService::Execute(const std::string& command) {
    std::string text;
    const std::uint32_t rc = Run(command, text);
    Record({MciRecord::Way::Execute, command, rc, {}});
    if (rc != mci::kOk) {
        MessageBoxes().Show(
            {MciErrorText(rc), ReportCaption(), MsgButtons::Ok, MsgIcon::Exclamation});
    }
    return rc == mci::kOk;
}

void MultimediaService::Record(MciRecord record) {
    if (!logFile_.empty()) {
        if (std::FILE* f = std::fopen(logFile_.c_str(), "a")) {
            std::string line = record.command;
            for (char& c : line) {
                if (c == '\n' || c == '\r') c = ' ';  // one command, one line
            }
            std::fprintf(f, "%s\t%u\t%s\n", record.way == MciRecord::Way::Send ? "send" : "execute",
                         record.result, line.c_str());
            std::fclose(f);
        }
    }
    if (records_.size() >= kMaxRecords) {
        records_.erase(records_.begin(),
                       records_.begin() + static_cast<std::ptrdiff_t>(kMaxRecords / 2));
    }
    records_.push_back(std::move(record));
    if (observer_) observer_(records_.back());
}

std::uint32_t MultimediaService::Run(const std::string& command, std::string& reply) {
    reply.clear();
    try {
        const std::string_view text = TrimView(command, kBlanks);
        if (text.empty()) return mci::kMissingCommandString;
        std::size_t verbEnd = 0;
        while (verbEnd < text.size() && !IsBlank(text[verbEnd])) ++verbEnd;
        const std::string verb = FoldAscii(text.substr(0, verbEnd));
        if (verb == "open") return Open(std::string(text.substr(verbEnd)));

        static const char* const kVerbs[] = {"play", "stop",   "pause", "resume",
                                             "seek", "status", "close"};
        bool known = false;
        for (const char* v : kVerbs) known = known || verb == v;
        if (!known) return mci::kUnrecognizedCommand;

        const std::vector<std::string> words = Words(text.substr(verbEnd));
        if (words.empty()) return mci::kMissingDeviceName;
        const std::string name = FoldAscii(words[0]);
        if (verb == "close" && name == "all") {
            if (const std::uint32_t rc = OnlyNotify(words, 1); rc != mci::kOk) return rc;
            CloseAll();
            return mci::kOk;
        }
        const auto found = devices_.find(name);
        if (found == devices_.end()) return mci::kInvalidDeviceName;
        AudioDevice& device = *found->second;

        if (verb == "play" || verb == "stop" || verb == "pause" || verb == "resume" ||
            verb == "close") {
            if (const std::uint32_t rc = OnlyNotify(words, 1); rc != mci::kOk) return rc;
            if (verb == "play") return device.Play();
            if (verb == "stop") return device.Stop();
            if (verb == "pause") return device.Pause();
            if (verb == "resume") return device.Resume();
            devices_.erase(found);
            return mci::kOk;
        }
        if (verb == "seek") {
            if (words.size() < 2) return mci::kMissingParameter;
            if (FoldAscii(words[1]) != "to") return mci::kUnrecognizedKeyword;
            if (words.size() < 3) return mci::kMissingParameter;
            if (const std::uint32_t rc = OnlyNotify(words, 3); rc != mci::kOk) return rc;
            const std::string where = FoldAscii(words[2]);
            if (where == "start") return device.Seek(0);
            if (where == "end") return device.Seek(device.LengthFrames());
            if (!where.empty() && where[0] == '-') return mci::kOutOfRange;
            std::int64_t ms = 0;
            if (!ParseMilliseconds(where, ms)) return mci::kBadInteger;
            const std::int64_t frame = ms * device.SampleRate() / 1000;
            if (frame > device.LengthFrames()) return mci::kOutOfRange;
            return device.Seek(frame);
        }
        // status
        if (words.size() < 2) return mci::kMissingParameter;
        if (const std::uint32_t rc = OnlyNotify(words, 2); rc != mci::kOk) return rc;
        const std::string item = FoldAscii(words[1]);
        if (item == "mode") {
            reply = ModeText(device.Mode());
        } else if (item == "position") {
            reply = std::to_string(FramesToMs(device.PositionFrames(), device.SampleRate()));
        } else if (item == "length") {
            reply = std::to_string(FramesToMs(device.LengthFrames(), device.SampleRate()));
        } else if (item == "ready") {
            reply = "true";
        } else {
            return mci::kUnrecognizedKeyword;
        }
        return mci::kOk;
    } catch (const std::bad_alloc&) {  // the command's own error code
        reply.clear();
        return mci::kOutOfMemory;
    } catch (const std::exception&) {  // the command's own error code
        reply.clear();
        return mci::kHardware;
    }
}

// "open <file> alias <name>": the file is everything between "open " and the last " alias ", so
// a path with blanks needs no quotation marks.
std::uint32_t MultimediaService::Open(const std::string& rest) {
    const std::string folded = FoldAscii(rest);
    std::string file;
    std::string name;
    const std::size_t at = folded.rfind(" alias ");
    if (at != std::string::npos) {
        file = std::string(TrimView(std::string_view(rest).substr(0, at), kBlanks));
        const std::vector<std::string> words = Words(std::string_view(rest).substr(at + 7));
        if (words.empty()) return mci::kMissingParameter;
        if (words.size() > 1) return mci::kUnrecognizedKeyword;
        name = FoldAscii(words[0]);
    } else {
        const std::string_view trimmed = TrimView(rest, kBlanks);
        if (folded.size() >= 6 && FoldAscii(trimmed).ends_with(" alias")) {
            return mci::kMissingParameter;  // "alias" with no name after it
        }
        file = std::string(trimmed);
    }
    if (file.size() >= 2 && file.front() == '"' && file.back() == '"') {
        file = file.substr(1, file.size() - 2);
    }
    if (TrimView(file, kBlanks).empty()) return mci::kMissingParameter;
    if (at == std::string::npos) name = FoldAscii(file);
    if (name == "all") return mci::kInvalidDeviceName;  // "close all" must stay unambiguous
    if (devices_.count(name) != 0) return mci::kDuplicateAlias;
    std::unique_ptr<AudioDevice> device;
    const std::uint32_t rc = backend_->Open(file, device);
    if (rc != mci::kOk) return rc;
    if (!device) return mci::kHardware;
    devices_.emplace(name, std::move(device));
    return mci::kOk;
}

namespace {

std::shared_ptr<MultimediaService> MakeMultimedia() {
    auto service = std::make_shared<MultimediaService>();
    if (const char* log = std::getenv("PLENOVA_MCI_LOG"); log != nullptr && *log != '\0')
        service->SetLogFile(log);
    return service;
}

constinit ServiceSlot<MultimediaService> multimediaSlot{&MakeMultimedia};

}  // namespace

MultimediaService& Multimedia() { return multimediaSlot.Get(); }

std::shared_ptr<AudioBackend> SetAudioBackend(std::shared_ptr<AudioBackend> backend) {
    MultimediaService& service = Multimedia();
    std::shared_ptr<AudioBackend> previous = service.Backend();
    service.SetBackend(std::move(backend));
    return previous;
}

ScopedTestAudio::ScopedTestAudio(std::int64_t lengthMs)
    : ScopedService(std::make_shared<TestAudioBackend>(lengthMs)) {
    Multimedia().ClearRecords();
}

}  // namespace plenova::platform
