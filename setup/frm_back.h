// frmBack: the installation's full-screen background, a green-to-black gradient of 256 bands
// with the product's title in the top-left corner. Everything is drawn into the window's
// persistent image before it is shown, so the picture survives dialogs covering it; the window
// stays open until the process ends.
#pragma once

#include <QImage>
#include <QString>

#include "forms/form_support.h"

namespace plenova::setup {

class frmBack : public forms::Form {
public:
    explicit frmBack(QWidget* parent = nullptr);

    // Sizes the window to the whole screen, paints the bands and `title` into its image and
    // shows it without waiting (ShowBackground).
    void ShowBackground(const QString& title);

    // The persistent image: what the window shows.
    const QImage& Picture() const noexcept { return picture_; }

protected:
    // It stays until the process ends: closing it by hand (Alt+F4) does nothing.
    void Form_Unload(int& cancel) override { cancel = 1; }
    void paintEvent(QPaintEvent* event) override;

private:
    void DrawBands();
    void DrawTitle(const QString& title);

    QImage picture_;
};

}  // namespace plenova::setup
