// The real message-box service: a modal QMessageBox with the box's caption, text, icon and
// standard buttons. Without a QApplication it writes the box to standard error and answers the
// default (first) button.
#pragma once

#include "platform/message_box.h"

namespace plenova::platform {

class QtMessageBoxes : public MessageBoxService {
public:
    // Shows the box modally (application-modal, on top of the program's windows) and returns the
    // chosen button. Closing the box without a button (Esc, window close) answers Cancel where
    // the box has one, else its only or "No" button, as the classic boxes do.
    MsgResult Show(const MessageBoxRequest& request) override;
};

}  // namespace plenova::platform
