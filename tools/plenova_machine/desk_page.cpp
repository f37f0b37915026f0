#include "tools/plenova_machine/desk_page.h"

#include <algorithm>
#include <chrono>

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "assets/asset_names.h"
#include "base/text.h"
#include "platform/child_program.h"
#include "platform/machine.h"
#include "platform/machine_listing.h"
#include "platform/registry.h"
#include "tools/plenova_machine/host_logic.h"
#include "tools/plenova_machine/machine_tool.h"

namespace plenova::machine_tool {

namespace {

using platform::Hive;

QString Tr(const char* text) { return QCoreApplication::translate("DeskPage", text); }

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

// The screen of the classic preview monitor, in pixels.
constexpr int kScreenWidth = 152;
constexpr int kScreenHeight = 112;
constexpr int kBezel = 16;
constexpr int kStand = 30;
constexpr int kDefaultMinutes = 15;
constexpr int kMostMinutes = 9999;

// A monitor drawn around its screen, which is a native child window (the preview's host).
class Monitor : public QWidget {
public:
    explicit Monitor(QWidget* parent) : QWidget(parent) {
        setFixedSize(kScreenWidth + 2 * kBezel, kScreenHeight + 2 * kBezel + kStand);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor body(0xC0, 0xC0, 0xC0);
        const QColor shade(0x80, 0x80, 0x80);
        const int w = width();
        const int bodyBottom = kScreenHeight + 2 * kBezel;
        // Stand, then the body with a dark edge, then the sunken frame of the screen.
        painter.setPen(shade);
        painter.setBrush(body);
        painter.drawRect(w / 2 - 18, bodyBottom - 2, 36, kStand - 12);
        painter.drawRoundedRect(QRectF(w / 2 - 48, bodyBottom + kStand - 16, 96, 14), 4, 4);
        painter.drawRoundedRect(QRectF(0.5, 0.5, w - 1, bodyBottom - 1), 6, 6);
        painter.setPen(Qt::NoPen);
        painter.setBrush(shade);
        painter.drawRect(kBezel - 2, kBezel - 2, kScreenWidth + 4, kScreenHeight + 4);
        painter.setBrush(QColor(0x30, 0xA0, 0x30));
        painter.drawEllipse(QPoint(w - kBezel - 4, bodyBottom - 8), 2, 2);
    }
};

}  // namespace

DeskPage::DeskPage(platform::Machine& machine, platform::Registry& registry)
    : machine_(machine), registry_(registry) {
    setWindowTitle(Tr("Display Properties"));

    auto* monitor = new Monitor(this);
    screen_ = new QWidget(monitor);
    screen_->setGeometry(kBezel, kBezel, kScreenWidth, kScreenHeight);
    screen_->setAutoFillBackground(true);
    QPalette black = screen_->palette();
    black.setColor(QPalette::Window, Qt::black);
    screen_->setPalette(black);
    still_ = new QLabel(screen_);
    still_->setGeometry(0, 0, kScreenWidth, kScreenHeight);
    still_->setScaledContents(true);
    still_->hide();

    auto* group = new QGroupBox(Tr("Screen Saver"), this);
    list_ = new QComboBox(group);
    list_->addItem(Tr("(None)"));
    for (const std::string& folder : {machine_.WindowsFolder(), machine_.SystemFolder()}) {
        for (std::string& saver : platform::FilesWithExtension(machine_, folder, ".scr"))
            savers_.push_back(std::move(saver));
    }
    const auto current =
        registry_.QueryString(Hive::CurrentUser, kDesktopKey, kSaverName).value_or("");
    const auto chosen = std::find_if(savers_.begin(), savers_.end(), [&](const std::string& s) {
        return EqualsIgnoreCase(s, current);
    });
    // A saver chosen elsewhere that is in neither folder is still offered.
    if (!current.empty() && chosen == savers_.end() && machine_.FileExists(current))
        savers_.push_back(current);
    for (const std::string& saver : savers_) {
        const auto slash = saver.find_last_of('\\');
        std::string name = saver.substr(slash == std::string::npos ? 0 : slash + 1);
        if (name.size() > 4) name.resize(name.size() - 4);
        list_->addItem(FromUtf8(name), FromUtf8(saver));
    }
    const auto settings = ParseSaverSettings(
        registry_.QueryString(Hive::CurrentUser, kDesktopKey, kSaveActiveName),
        registry_.QueryString(Hive::CurrentUser, kDesktopKey, kSaveTimeOutName), current);
    if (settings.active && !current.empty()) {
        const int index = list_->findData(FromUtf8(current), Qt::UserRole, Qt::MatchFixedString);
        list_->setCurrentIndex(std::max(index, 0));
    }

    settings_ = new QPushButton(Tr("Se&ttings..."), group);
    preview_ = new QPushButton(Tr("Pre&view"), group);
    wait_ = new QSpinBox(group);
    wait_->setRange(1, kMostMinutes);
    const auto minutes = (settings.timeout.count() + 30) / 60;
    wait_->setValue(settings.timeout.count() > 0
                        ? static_cast<int>(std::clamp<long long>(minutes, 1, kMostMinutes))
                        : kDefaultMinutes);
    auto* waitLabel = new QLabel(Tr("&Wait:"), group);
    waitLabel->setBuddy(wait_);

    auto* row1 = new QHBoxLayout;
    row1->addWidget(list_, 1);
    row1->addWidget(settings_);
    row1->addWidget(preview_);
    auto* row2 = new QHBoxLayout;
    row2->addWidget(waitLabel);
    row2->addWidget(wait_);
    row2->addWidget(new QLabel(Tr("minutes"), group));
    row2->addStretch(1);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addLayout(row1);
    groupLayout->addLayout(row2);

    buttons_ = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(monitor, 0, Qt::AlignHCenter);
    layout->addWidget(group);
    layout->addWidget(buttons_);

    const auto refresh = [this] {
        const bool any = ChosenSaver().has_value();
        settings_->setEnabled(any);
        preview_->setEnabled(any);
        wait_->setEnabled(any);
        if (isVisible()) ShowPreview();
    };
    connect(list_, &QComboBox::currentIndexChanged, this, refresh);
    connect(settings_, &QPushButton::clicked, this, [this] { RunChosen("/c"); });
    connect(preview_, &QPushButton::clicked, this, [this] { RunChosen("/s"); });
    // A value that cannot be written keeps the page open, with the reason.
    const auto write = [this] {
        try {
            Apply();
            return true;
        } catch (const std::exception& e) {
            Complain(Tr("The settings cannot be saved: %1").arg(FromUtf8(e.what())));
            return false;
        }
    };
    connect(buttons_, &QDialogButtonBox::accepted, this, [this, write] {
        if (write()) accept();
    });
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons_->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, write);
    connect(this, &QDialog::finished, this, [this] { EndPreview(); });
    refresh();

    // The full preview replaces the small one while it runs; it comes back afterwards.
    watch_ = new QTimer(this);
    connect(watch_, &QTimer::timeout, this, [this] {
        if (fullChild_ && !fullChild_->Running()) {
            fullChild_.reset();
            if (isVisible()) ShowPreview();
        }
    });
    watch_->start(500);
}

DeskPage::~DeskPage() { EndPreview(); }

std::optional<std::string> DeskPage::ChosenSaver() const {
    const QVariant data = list_->currentData();
    if (!data.isValid()) return std::nullopt;
    return data.toString().toStdString();
}

void DeskPage::Apply() {
    const auto saver = ChosenSaver();
    const std::string timeout = std::to_string(wait_->value() * 60);
    if (saver) {
        const std::pair<std::string_view, std::string_view> values[] = {
            {kSaveActiveName, "1"}, {kSaveTimeOutName, timeout}, {kSaverName, *saver}};
        registry_.SetStrings(Hive::CurrentUser, kDesktopKey, values);
    } else {
        const std::pair<std::string_view, std::string_view> values[] = {
            {kSaveActiveName, "0"}, {kSaveTimeOutName, timeout}};
        registry_.SetStrings(Hive::CurrentUser, kDesktopKey, values);
        registry_.DeleteValue(Hive::CurrentUser, kDesktopKey, kSaverName);
    }
}

void DeskPage::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ShowPreview();
}

void DeskPage::closeEvent(QCloseEvent* event) {
    EndPreview();
    QDialog::closeEvent(event);
}

void DeskPage::EndPreview() {
    if (previewChild_) previewChild_->End(std::chrono::seconds(1));
    previewChild_.reset();
}

void DeskPage::ShowPreview() {
    EndPreview();
    still_->hide();
    const auto saver = ChosenSaver();
    if (!saver || fullChild_) return;
    // The saver draws into an X11 window of ours only; elsewhere it shows its still picture.
    if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
        if (machine_.OnOwnDrive(*saver) && EnterProgramFolder(machine_, *saver)) {
            screen_->setAttribute(Qt::WA_NativeWindow);
            const std::string handle =
                std::to_string(static_cast<unsigned long long>(screen_->winId()));
            previewChild_ = machine_.LaunchProcess(*saver, "/p " + handle);
            if (previewChild_) return;
        }
    }
    if (const auto picture = PreviewPicture(*saver)) {
        const QPixmap pixmap(FromUtf8(*picture));
        if (!pixmap.isNull()) {
            still_->setPixmap(pixmap);
            still_->show();
        }
    }
}

// "prev.bmp" beside the saver, else in the data folder its settings name ("App"/"Dir" of the
// application named like the saver's file).
std::optional<std::string> DeskPage::PreviewPicture(const std::string& saver) const {
    const auto slash = saver.find_last_of('\\');
    if (slash == std::string::npos) return std::nullopt;
    const std::string picture(assets::kPreview);
    std::vector<std::string> candidates{saver.substr(0, slash) + "\\" + picture};
    std::string name = saver.substr(slash + 1);
    if (name.size() > 4) name.resize(name.size() - 4);
    const std::string key = "Software\\" + name + "\\App";
    try {
        if (auto dir = registry_.QueryString(Hive::CurrentUser, key, "Dir"); dir && !dir->empty()) {
            if (dir->back() != '\\') dir->push_back('\\');
            candidates.push_back(*dir + picture);
        }
    } catch (const std::invalid_argument&) {
        // A file name that is no key name has no settings.
    }
    for (const std::string& candidate : candidates) {
        if (!machine_.FileExists(candidate)) continue;
        if (const auto host = machine_.ToHost(candidate)) return host->string();
    }
    return std::nullopt;
}

void DeskPage::RunChosen(const char* argument) {
    const auto saver = ChosenSaver();
    if (!saver) return;
    const QString shown = FromUtf8(TerminalText(*saver));
    const QString cannot = Tr("The screen saver %1 cannot be started.").arg(shown);
    // Registry values may have been written by a setup medium: only the machine's own programs.
    if (!machine_.OnOwnDrive(*saver))
        return Complain(cannot + "\n" + Tr("It is not on one of the machine's own drives."));
    if (!EnterProgramFolder(machine_, *saver)) return Complain(cannot);
    if (std::string_view(argument) == "/s") {
        EndPreview();
        fullChild_ = machine_.LaunchProcess(*saver, argument);
        if (!fullChild_) Complain(cannot);
        return;
    }
    if (!machine_.StartProcess(*saver, argument)) Complain(cannot);
}

void DeskPage::Complain(const QString& problem) {
    QMessageBox::warning(this, windowTitle(), problem);
}

}  // namespace plenova::machine_tool
