#include "platform/message_box.h"

#include <iostream>
#include <mutex>

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

std::mutex serviceMutex;
std::shared_ptr<MessageBoxService>& Current() {
    static std::shared_ptr<MessageBoxService> service = std::make_shared<StderrMessageBoxes>();
    return service;
}

}  // namespace

MessageBoxService& MessageBoxes() {
    std::lock_guard lock(serviceMutex);
    return *Current();
}

std::shared_ptr<MessageBoxService> SetMessageBoxes(std::shared_ptr<MessageBoxService> service) {
    std::lock_guard lock(serviceMutex);
    if (!service) service = std::make_shared<StderrMessageBoxes>();
    std::swap(service, Current());
    return service;
}

MsgResult ScriptedMessageBoxes::Show(const MessageBoxRequest& request) {
    shown_.push_back(request);
    if (answers_.empty()) return FirstButton(request.buttons);
    const MsgResult r = answers_.front();
    answers_.pop_front();
    return r;
}

ScopedScriptedMessageBoxes::ScopedScriptedMessageBoxes()
    : boxes_(std::make_shared<ScriptedMessageBoxes>()), previous_(SetMessageBoxes(boxes_)) {}

ScopedScriptedMessageBoxes::~ScopedScriptedMessageBoxes() { SetMessageBoxes(previous_); }

}  // namespace plenova::platform
