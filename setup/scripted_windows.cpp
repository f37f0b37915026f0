#include "setup/scripted_windows.h"

#include <cstdio>
#include <string>

#include "base/text.h"
#include "platform/desktop_menu.h"

namespace plenova::setup {

namespace {

using platform::MsgButtons;
using platform::MsgResult;

std::string_view StripLineEnd(std::string_view line) {
    return TrimView(TrimView(line, " \t\r", TrimEnds::Right), " \t", TrimEnds::Left);
}

MsgResult FirstButton(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::Ok:
    case MsgButtons::OkCancel:
        return MsgResult::Ok;
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
        return MsgResult::Yes;
    case MsgButtons::RetryCancel:
        return MsgResult::Retry;
    case MsgButtons::AbortRetryIgnore:
        return MsgResult::Abort;
    }
    return MsgResult::Ok;
}

}  // namespace

SetupAnswers SetupAnswers::Parse(std::string_view text) {
    SetupAnswers answers;
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = StripLineEnd(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == '#') continue;

        const std::size_t blank = line.find(' ');
        const std::string_view word = line.substr(0, blank);
        const std::string_view rest =
            blank == std::string_view::npos ? std::string_view() : StripLineEnd(line.substr(blank));
        auto fail = [&](const std::string& why) {
            throw AnswersError("answers line " + std::to_string(lineNumber) + ": " + why);
        };
        if (word == "path") {
            const std::size_t gap = rest.find(' ');
            const std::string_view how = rest.substr(0, gap);
            const std::string_view argument =
                gap == std::string_view::npos ? std::string_view() : rest.substr(gap + 1);
            answers.pathText.reset();
            answers.curdirChecked = false;
            if (how == "start") {
                answers.pathHow = PathDialogClose::Start;
                if (gap != std::string_view::npos) answers.pathText = std::string(argument);
            } else if (how == "curdir" && argument.empty()) {
                answers.pathHow = PathDialogClose::Start;
                answers.curdirChecked = true;
            } else if (how == "cancel" && argument.empty()) {
                answers.pathHow = PathDialogClose::Cancel;
            } else if (how == "close" && argument.empty()) {
                answers.pathHow = PathDialogClose::Closed;
            } else {
                fail("expected \"path start [folder]\", \"path curdir\", \"path cancel\" or "
                     "\"path close\"");
            }
        } else if (word == "box") {
            if (rest == "yes") answers.boxes.push_back(MsgResult::Yes);
            else if (rest == "no") answers.boxes.push_back(MsgResult::No);
            else if (rest == "ok") answers.boxes.push_back(MsgResult::Ok);
            else if (rest == "cancel") answers.boxes.push_back(MsgResult::Cancel);
            else fail("expected \"box yes\", \"box no\", \"box ok\" or \"box cancel\"");
        } else if (word == "stop") {
            // At most nine digits, so the number always fits.
            bool digits = !rest.empty() && rest.size() <= 9;
            int n = 0;
            for (std::size_t i = 0; digits && i < rest.size(); ++i) {
                if (rest[i] < '0' || rest[i] > '9') digits = false;
                else n = n * 10 + (rest[i] - '0');
            }
            if (!digits || n < 1) fail("expected \"stop <pump number from 1>\"");
            answers.stopAtPumps.insert(n);
        } else {
            fail("unknown answer \"" + std::string(word) + "\"");
        }
    }
    return answers;
}

ScriptedWindows::ScriptedWindows(const SetupAnswers& answers) {
    AnswerPathDialog(answers.pathHow, answers.pathText, answers.curdirChecked);
    stopAtPumps_ = answers.stopAtPumps;
}

void ScriptedWindows::AnswerPathDialog(PathDialogClose how, std::optional<std::string> text,
                                       bool curdirChecked) {
    pathAnswer_.how = how;
    pathTextGiven_ = text.has_value();
    pathAnswer_.text = text.value_or("");
    pathAnswer_.curdirChecked = curdirChecked;
}

void ScriptedWindows::ShowBackground(const std::string& title) {
    backgroundOpen_ = true;
    events_.push_back("background " + title);
}

PathDialogResult ScriptedWindows::RunPathDialog(const PathDialogRequest& request) {
    pathRequest_ = request;
    events_.push_back("path " + request.caption);
    PathDialogResult result = pathAnswer_;
    if (!pathTextGiven_) result.text = request.dstDir;
    // A disabled check box cannot be checked.
    if (!request.curdirEnabled) result.curdirChecked = false;
    return result;
}

void ScriptedWindows::ShowCopy(std::function<void()> onStop) {
    onStop_ = std::move(onStop);
    copyOpen_ = true;
    events_.push_back("copy show");
}

void ScriptedWindows::SetCopyLabels(const std::string& sourceText,
                                    const std::string& destinationText) {
    events_.push_back("copy " + sourceText + " | " + destinationText);
}

void ScriptedWindows::HideCopy() {
    copyOpen_ = false;
    onStop_ = nullptr;
    events_.push_back("copy hide");
}

void ScriptedWindows::ShowWait(const std::string& label) {
    waitOpen_ = true;
    events_.push_back("wait " + label);
}

void ScriptedWindows::SetWaitHourglass() { events_.push_back("wait hourglass"); }

void ScriptedWindows::HideWait() {
    waitOpen_ = false;
    events_.push_back("wait hide");
}

void ScriptedWindows::PumpEvents() {
    ++pumps_;
    if (copyOpen_ && onStop_ && stopAtPumps_.count(pumps_) != 0) {
        events_.push_back("stop");
        onStop_();
    }
}

void ScriptedWindows::OpenFolder(const std::string& windowsPath) {
    events_.push_back("open " + windowsPath);
}

AnsweredMessageBoxes::AnsweredMessageBoxes(std::vector<platform::MsgResult> answers)
    : answers_(answers.begin(), answers.end()) {}

platform::MsgResult AnsweredMessageBoxes::Show(const platform::MessageBoxRequest& request) {
    // The texts come from the setup medium: on a terminal they must not move the cursor, clear
    // the screen or hide a line, so control characters show as escapes (the text's own line
    // breaks stay). Written whole, so that a NUL byte cannot cut the record short.
    std::string record = "[";
    record += TerminalText(request.caption);
    record += "] ";
    record += TerminalText(request.text, true);
    record += '\n';
    std::fwrite(record.data(), 1, record.size(), stderr);
    std::fflush(stderr);
    if (answers_.empty()) return FirstButton(request.buttons);
    const MsgResult answer = answers_.front();
    answers_.pop_front();
    return answer;
}

}  // namespace plenova::setup
