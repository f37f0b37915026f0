// frmPrev: the still preview that preview mode shows inside a window of the host that lists the
// screen savers. It carries the picture and ends the program when it goes away: its unload posts
// the quit request, and it unloads itself when the host window ceases to exist.
#pragma once

#include <memory>

#include "forms/form_support.h"
#include "platform/x11/window_ops.h"

class QLabel;

namespace plenova::dialogs {

class frmPrev : public forms::Form {
public:
    explicit frmPrev(QWidget* parent = nullptr);
    ~frmPrev() override;

    // The picture, placed in the client area (inside the one-pixel border); sizes in pixels.
    QLabel* imgPrev = nullptr;

    // Unloads the form once `host` no longer exists (checked every `intervalMs` milliseconds).
    void WatchHost(platform::ForeignWindowHandle host, int intervalMs = 50);
    bool WatchingHost() const { return watch_ != nullptr; }

protected:
    void Form_Unload(int& cancel) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* client_ = nullptr;
    std::unique_ptr<platform::ForeignWindowWatch> watch_;
};

}  // namespace plenova::dialogs
