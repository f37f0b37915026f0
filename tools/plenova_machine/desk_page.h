// The screen-saver page of Display Properties (plenova-machine desk): a monitor picture whose
// screen shows the chosen saver's "/p" preview, the list of savers, its settings and full
// preview, the wait in minutes, and OK, Cancel and Apply, which write
// HKCU\Control Panel\Desktop ("ScreenSaveActive", "ScreenSaveTimeOut", "SCRNSAVE.EXE").
//
// The live preview needs an X11 window that the saver can draw into (xcb, XWayland included);
// on any other platform the screen shows the saver's preview picture, "prev.bmp" beside the
// saver or in its data folder.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QDialog>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;

namespace plenova::platform {
class ChildProgram;
class Machine;
class Registry;
}  // namespace plenova::platform

namespace plenova::machine_tool {

class DeskPage : public QDialog {
public:
    DeskPage(platform::Machine& machine, platform::Registry& registry);
    ~DeskPage() override;

    // The savers offered (Windows paths), in list order after "(None)".
    const std::vector<std::string>& Savers() const { return savers_; }
    // Writes the three values as the page shows them; RegistryError when they cannot be.
    void Apply();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    std::optional<std::string> ChosenSaver() const;
    void ShowPreview();
    void EndPreview();
    void RunChosen(const char* argument);
    void Complain(const QString& problem);
    std::optional<std::string> PreviewPicture(const std::string& saver) const;

    platform::Machine& machine_;
    platform::Registry& registry_;
    std::vector<std::string> savers_;
    QWidget* screen_ = nullptr;  // the monitor's screen, the preview's host window
    QLabel* still_ = nullptr;    // the preview picture where the saver cannot draw
    QComboBox* list_ = nullptr;
    QPushButton* settings_ = nullptr;
    QPushButton* preview_ = nullptr;
    QSpinBox* wait_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
    QTimer* watch_ = nullptr;
    std::unique_ptr<platform::ChildProgram> previewChild_;  // "/p" in the screen
    std::unique_ptr<platform::ChildProgram> fullChild_;     // "/s" from Preview
};

}  // namespace plenova::machine_tool
