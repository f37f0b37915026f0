// frmCopy: the progress window of the installation. Its labels show the file being copied and
// where it goes; cmdStop asks whether to stop and, on Yes, requests the cancel, which the copy
// sees at its next block. The window is modeless: the copy lets its events run between blocks.
#pragma once

#include <functional>

#include "forms/form_support.h"

class QLabel;
class QPushButton;

namespace plenova::setup {

class frmCopy : public forms::Form {
public:
    // `onStop` asks the question and sets the cancel request (Module1::CmdStopClick).
    explicit frmCopy(std::function<void()> onStop, QWidget* parent = nullptr);

    QPushButton* cmdStop = nullptr;
    QLabel* labsrcfile = nullptr;
    QLabel* labdstfile = nullptr;

    void cmdStop_Click();

protected:
    void Form_Load() override;
    // The close box asks like cmdStop; the window itself stays until the copy is over.
    void Form_Unload(int& cancel) override;

public:
    // Unloads the window for the program (its own close box does not).
    void UnloadByProgram();

private:
    std::function<void()> onStop_;
    bool closing_ = false;  // the program unloads it
};

}  // namespace plenova::setup
