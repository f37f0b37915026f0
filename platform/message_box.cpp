#include "platform/message_box.h"

#include <iostream>

#include "base/errors.h"
#include "base/text.h"

namespace plenova::platform {

namespace {

MsgResult FirstButton(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::Ok:
        case MsgButtons::OkCancel: return MsgResult::Ok;
        case MsgButtons::YesNo:
        case MsgButtons::YesNoCancel: return MsgResult::Yes;
        case MsgButtons::RetryCancel: return MsgResult::Retry;
        case MsgButtons::AbortRetryIgnore: return MsgResult::Abort;
    }
    return MsgResult::Ok;
}

class StderrMessageBoxes : public MessageBoxService {
public:
    MsgResult Show(const MessageBoxRequest& request) override {
        std::cerr << request.caption << ": " << request.text << std::endl;
        return FirstButton(request.buttons);
    }
};

constinit ServiceSlot<MessageBoxService> messageBoxSlot{
    &MakeService<MessageBoxService, StderrMessageBoxes>};

}  // namespace

MessageBoxService& MessageBoxes() { return messageBoxSlot.Get(); }

std::shared_ptr<MessageBoxService> SetMessageBoxes(std::shared_ptr<MessageBoxService> service) {
    return messageBoxSlot.Set(std::move(service));
}

MsgResult ScriptedMessageBoxes::Show(const MessageBoxRequest& request) {
    shown_.push_back(request);
    if (answers_.empty()) return FirstButton(request.buttons);
    const MsgResult r = answers_.front();
    answers_.pop_front();
    return r;
}

void ShowUnhandledError(const std::exception& error, const std::string& caption) {
    const auto* runtime = dynamic_cast<const RuntimeError*>(&error);
    const std::string text = runtime != nullptr ? "実行時エラー '" + ToText(runtime->Number()) +
                                                      "':\n\n" + error.what()
                                                : std::string(error.what());
    ShowMessage(text, caption, MsgButtons::Ok, MsgIcon::Critical);
}

}  // namespace plenova::platform
