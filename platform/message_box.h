// Modal message boxes. The real service shows a QMessageBox; the test double answers from a
// script and records every box it was asked to show.
#pragma once

#include <deque>
#include <memory>
#include <exception>
#include <string>
#include <vector>

#include "platform/service_slot.h"

namespace plenova::platform {

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgResult { Ok, Cancel, Abort, Retry, Ignore, Yes, No };

struct MessageBoxRequest {
    std::string text;     // UTF-8
    std::string caption;  // UTF-8
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
};

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    // Shows the box modally and returns the button the user chose.
    virtual MsgResult Show(const MessageBoxRequest& request) = 0;
};

// The service in use by this process. Programs with windows install the QMessageBox service at
// start (see desktop services); until one is installed, boxes are written to standard error and
// answered with the box's first button, which suits command-line tools.
MessageBoxService& MessageBoxes();
// Installs a service; returns the previous one, so a test can put it back.
std::shared_ptr<MessageBoxService> SetMessageBoxes(std::shared_ptr<MessageBoxService> service);

// Shows a box through the installed service.
inline MsgResult ShowMessage(const std::string& text, const std::string& caption,
                             MsgButtons buttons = MsgButtons::Ok, MsgIcon icon = MsgIcon::None) {
    return MessageBoxes().Show({text, caption, buttons, icon});
}

// The box of a failure that no handler took, before the program ends: a run-time error shows
// its number and text ("実行時エラー 'N':"), anything else its text. Both programs end this way.
void ShowUnhandledError(const std::exception& error, const std::string& caption);

// Test double: records every request, answers from a queue of scripted results (default: the
// first button of the box: Ok, Yes, Abort or Retry).
class ScriptedMessageBoxes : public MessageBoxService {
public:
    MsgResult Show(const MessageBoxRequest& request) override;
    void Answer(MsgResult result) { answers_.push_back(result); }
    const std::vector<MessageBoxRequest>& Shown() const { return shown_; }
    void Clear() { shown_.clear(); answers_.clear(); }

private:
    std::vector<MessageBoxRequest> shown_;
    std::deque<MsgResult> answers_;
};

// Installs a ScriptedMessageBoxes for the lifetime of the object and restores the previous one.
using ScopedScriptedMessageBoxes =
    ScopedService<MessageBoxService, ScriptedMessageBoxes, &SetMessageBoxes>;

}  // namespace plenova::platform
