// The password text box of the password windows: every character shown as "*", no input
// method, the UI font at 12 points.
#pragma once

class QLineEdit;
class QWidget;

namespace plenova::dialogs {

QLineEdit* MakePasswordBox(QWidget* parent, const char* name);

}  // namespace plenova::dialogs
