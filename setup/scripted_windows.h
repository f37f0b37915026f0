// A scripted stand-in for the setup program's windows: it shows nothing, records what the logic
// asked of each window and answers the destination dialog as told. Tests drive whole
// installations with it, and the program uses it when PLENOVA_SETUP_ANSWERS names an answers
// file (a run without a desktop).
//
// Answers file: UTF-8 text, one answer a line; blank lines and lines starting with "#" are
// comments.
//
//   path start                 the destination dialog closes with cmdStart, text unchanged
//   path start <folder>        ... with cmdStart after the text was replaced by <folder>
//   path curdir                ... with cmdStart and chkCurdir checked
//   path cancel                ... with cmdEnd
//   path close                 ... any other way (the close box)
//   box yes|no|ok|cancel       the next message box's answer (in order; when they run out,
//                              every box gets its first button)
//   stop <N>                   cmdStop is clicked during the N-th event pump (counted from 1
//                              over the whole run) when the copy window is open then
//
// Without a "path" line the dialog closes with cmdStart and the default text.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/message_box.h"
#include "setup/setup_windows.h"

namespace plenova::setup {

// An answers file that does not follow the format; what() names the line.
class AnswersError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct SetupAnswers {
    PathDialogClose pathHow = PathDialogClose::Start;
    std::optional<std::string> pathText;  // empty: the default text stays
    bool curdirChecked = false;
    std::vector<platform::MsgResult> boxes;
    std::set<int> stopAtPumps;

    // Throws AnswersError.
    static SetupAnswers Parse(std::string_view text);
};

class ScriptedWindows : public SetupWindows {
public:
    ScriptedWindows() = default;
    explicit ScriptedWindows(const SetupAnswers& answers);

    // ----- answers -----
    void AnswerPathDialog(PathDialogClose how, std::optional<std::string> text = std::nullopt,
                          bool curdirChecked = false);
    void StopAtPump(int pumpNumber) { stopAtPumps_.insert(pumpNumber); }

    // ----- SetupWindows -----
    void ShowBackground(const std::string& title) override;
    PathDialogResult RunPathDialog(const PathDialogRequest& request) override;
    void ShowCopy(std::function<void()> onStop) override;
    void SetCopyLabels(const std::string& sourceText, const std::string& destinationText) override;
    void HideCopy() override;
    void ShowWait(const std::string& label) override;
    void SetWaitHourglass() override;
    void HideWait() override;
    void PumpEvents() override;
    void OpenFolder(const std::string& windowsPath) override;

    // ----- record -----
    // One line per call except the pumps: "background <title>", "path <caption>", "copy show",
    // "copy <source> | <destination>", "copy hide", "wait <label>", "wait hourglass",
    // "wait hide", "stop" (a cmdStop click), "open <folder>".
    const std::vector<std::string>& Events() const { return events_; }
    int Pumps() const noexcept { return pumps_; }
    const std::optional<PathDialogRequest>& PathRequest() const { return pathRequest_; }
    bool CopyOpen() const noexcept { return copyOpen_; }
    bool WaitOpen() const noexcept { return waitOpen_; }
    bool BackgroundOpen() const noexcept { return backgroundOpen_; }

private:
    PathDialogResult pathAnswer_{PathDialogClose::Start, "", false};
    bool pathTextGiven_ = false;
    std::set<int> stopAtPumps_;
    std::vector<std::string> events_;
    int pumps_ = 0;
    std::optional<PathDialogRequest> pathRequest_;
    std::function<void()> onStop_;
    bool copyOpen_ = false;
    bool waitOpen_ = false;
    bool backgroundOpen_ = false;
};

// Message boxes answered from a list, each box's caption and text written to standard error
// for the record, as "[caption] text" and a line feed; when the list runs out, a box gets its
// first button. The text's line feeds stay line breaks; every other control character (a
// carriage return, ESC) is shown escaped as TerminalText (base/text.h) does it ("\r", "\x1b").
class AnsweredMessageBoxes : public platform::MessageBoxService {
public:
    explicit AnsweredMessageBoxes(std::vector<platform::MsgResult> answers);
    platform::MsgResult Show(const platform::MessageBoxRequest& request) override;

private:
    std::deque<platform::MsgResult> answers_;
};

}  // namespace plenova::setup
