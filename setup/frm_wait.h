// frmWait: a small window without caption that says what the program is busy with (copying its
// own files, making the Start-menu entries, uninstalling) while it works.
#pragma once

#include "forms/form_support.h"

class QLabel;

namespace plenova::setup {

class frmWait : public forms::Form {
public:
    explicit frmWait(QWidget* parent = nullptr);

    QLabel* Label = nullptr;

protected:
    void Form_Load() override;
    // Only the program closes it: the work it stands for goes on anyway.
    void Form_Unload(int& cancel) override;

public:
    // Unloads the window for the program (its own close box does not).
    void UnloadByProgram();

private:
    bool closing_ = false;
};

}  // namespace plenova::setup
