#include "setup/frm_sansho.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "base/text.h"
#include "platform/machine.h"
#include "setup/module1.h"

namespace plenova::setup {

namespace {

constexpr int kPathRole = Qt::UserRole;
// A folder with more subfolders than this shows the first ones only: the list stays quick on
// host folders such as /usr/lib.
constexpr std::size_t kMaxSubfolders = 5000;

std::string Join(const std::string& folder, const std::string& name) {
    return folder.ends_with('\\') ? folder + name : folder + "\\" + name;
}

// The folder's name in the host's letter case, on the drive it was asked for.
std::optional<std::string> OpenableFolder(const std::string& windowsPath) {
    platform::Machine& machine = platform::CurrentMachine();
    const std::optional<std::string> full = machine.FullPath(windowsPath);
    if (!full || full->size() < 3 || (*full)[1] != ':' || !machine.FolderExists(*full))
        return std::nullopt;
    if (const auto host = machine.ToHost(*full)) {
        std::string named = machine.ToWindows(*host);
        if (!named.empty() && named[0] == (*full)[0]) return named;
    }
    return full;
}

std::vector<std::string> Subfolders(const std::string& windowsPath) {
    std::vector<std::string> names;
    const auto host = platform::CurrentMachine().ToHost(windowsPath);
    if (!host) return names;
    std::error_code error;
    std::filesystem::directory_iterator it(*host, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        std::error_code kindError;
        if (!it->is_directory(kindError)) continue;
        std::string name = it->path().filename().string();
        // Host conventions: dot-folders are hidden ones.
        if (name.empty() || name.front() == '.') continue;
        names.push_back(std::move(name));
        if (names.size() >= kMaxSubfolders) break;
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const std::string fa = FoldCase(a);
        const std::string fb = FoldCase(b);
        return fa != fb ? fa < fb : a < b;
    });
    return names;
}

}  // namespace

// ----- FolderList -----

FolderList::FolderList(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(10);
    setUniformRowHeights(true);
    setExpandsOnDoubleClick(false);
    // Every level is always open: no expand arrows.
    setStyleSheet(QStringLiteral("QTreeView::branch { image: none; border-image: none; }"));
    QObject::connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item, int) {
        const std::string path = PathOf(item);
        if (!path.empty() && path != path_) SetPath(path);
    });
}

std::string FolderList::PathOf(const QTreeWidgetItem* item) {
    if (item == nullptr) return {};
    return item->data(0, kPathRole).toString().toStdString();
}

bool FolderList::SetPath(const std::string& windowsPath) {
    std::optional<std::string> folder;
    try {
        folder = OpenableFolder(windowsPath);
    } catch (const std::exception&) {  // unreadable: no folder
        folder.reset();
    }
    if (!folder) return false;
    const bool changed = *folder != path_;
    path_ = *folder;
    Fill();
    if (changed && onChange_) onChange_();
    return true;
}

void FolderList::Fill() {
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The chain from the root to the open folder, each one level deeper.
    std::vector<std::pair<std::string, std::string>> chain;  // shown name, path
    const std::string root = path_.substr(0, 3);
    chain.emplace_back(FoldCase(root), root);
    std::string sofar = root;
    for (std::size_t start = 3; start < path_.size();) {
        std::size_t end = path_.find('\\', start);
        if (end == std::string::npos) end = path_.size();
        const std::string name = path_.substr(start, end - start);
        sofar = Join(sofar, name);
        chain.emplace_back(name, sofar);
        start = end + 1;
    }
    QTreeWidgetItem* parent = nullptr;
    for (const auto& [name, path] : chain) {
        auto* item = parent == nullptr ? new QTreeWidgetItem(this) : new QTreeWidgetItem(parent);
        item->setText(0, QString::fromStdString(name));
        item->setIcon(0, openIcon);
        item->setData(0, kPathRole, QString::fromStdString(path));
        parent = item;
    }
    QTreeWidgetItem* open = parent;
    for (const std::string& name : Subfolders(path_)) {
        auto* item = new QTreeWidgetItem(open);
        item->setText(0, QString::fromStdString(name));
        item->setIcon(0, closedIcon);
        item->setData(0, kPathRole, QString::fromStdString(Join(path_, name)));
    }
    expandAll();
    setCurrentItem(open);
    scrollToItem(open);
}

// ----- DriveList -----

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
    Refill();
    QObject::connect(this, &QComboBox::activated, this, [this](int) {
        if (onChange_) onChange_();
    });
}

void DriveList::Refill() {
    clear();
    try {
        for (const platform::Drive& drive : platform::CurrentMachine().Drives()) {
            QString text = QString(QChar(drive.letter).toLower()) + QStringLiteral(":");
            // C: is the machine's own disk; every other drive names the host folder it shows.
            if (drive.letter != 'C')
                text +=
                    QStringLiteral(" [%1]").arg(QString::fromStdString(drive.hostFolder.string()));
            addItem(text, QChar(drive.letter));
        }
    } catch (const std::exception&) {
        // No machine: an empty list.
    }
}

char DriveList::Drive() const {
    const QVariant data = currentData();
    return data.isValid() ? static_cast<char>(data.toChar().toLatin1()) : '\0';
}

void DriveList::SetDrive(char letter) {
    const int index = findData(QChar(letter).toUpper());
    if (index >= 0) setCurrentIndex(index);
}

// ----- frmSansho -----

frmSansho::frmSansho(const Module1& logic, QWidget* parent)
    : Form(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      logic_(logic) {
    setObjectName(QStringLiteral("frmSansho"));
    setWindowTitle(QStringLiteral("フォルダの参照"));
    setFont(forms::UiFont(9));
    SetFixedClientTwips(4770, 3285);

    Dir1 = new FolderList(this);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Dir1->setGeometry(forms::TwipsRect(240, 600, 3072, 2064));

    Drive1 = new DriveList(this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Drive1->setGeometry(forms::TwipsRect(240, 2820, 3072, 276));

    labPath = new QLabel(this);
    labPath->setObjectName(QStringLiteral("labPath"));
    labPath->setGeometry(forms::TwipsRect(240, 255, 4395, 255));

    cmdOK = forms::MakeButton(this, QStringLiteral("cmdOK"), QStringLiteral("OK"), 3480, 660,
                                1152, 372);
    // The default button is drawn as such.
    cmdOK->setDefault(true);
    cmdCancel = forms::MakeButton(this, QStringLiteral("cmdCancel"), QStringLiteral("ｷｬﾝｾﾙ"),
                                    3480, 1200, 1152, 372);

    setTabOrder(Dir1, Drive1);
    setTabOrder(Drive1, cmdOK);
    setTabOrder(cmdOK, cmdCancel);

    Dir1->SetOnChange([this] { Dir1_Change(); });
    Drive1->SetOnChange([this] { Drive1_Change(); });
    QObject::connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    QObject::connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    // Enter presses the focused button, else OK; Esc is Cancel.
    SetDialogButtons(cmdOK, cmdCancel);
}

void frmSansho::Form_Load() {
    CenterOnScreen();
    Drive1->Refill();
    // A start text that names a file (or that cannot be opened) starts at the Windows drive's
    // root as a missing one does.
    if (!Dir1->SetPath(logic_.BrowseStartFolder(sanshodir)))
        Dir1->SetPath(logic_.winDir.substr(0, 3));
    if (!Dir1->Path().empty()) Drive1->SetDrive(Dir1->Path()[0]);
    labPath->setText(QString::fromStdString(Dir1->Path()));
    Dir1->setFocus();
}

void frmSansho::Dir1_Change() { labPath->setText(QString::fromStdString(Dir1->Path())); }

void frmSansho::Drive1_Change() {
    const char letter = Drive1->Drive();
    if (letter == '\0') return;
    // "X:." is the folder last made current on drive X (its root at first).
    if (!Dir1->SetPath(std::string(1, letter) + ":.")) {
        // A drive that is not ready: the list goes back to the drive of the open folder.
        QApplication::beep();
        if (!Dir1->Path().empty()) Drive1->SetDrive(Dir1->Path()[0]);
    }
}

void frmSansho::cmdOK_Click() {
    sanshodir = labPath->text().toStdString();
    Unload();
}

void frmSansho::cmdCancel_Click() {
    sanshodir.clear();
    Unload();
}

}  // namespace plenova::setup
