#include "dialogs/frm_setting.h"

#include <memory>

#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "base/checked.h"
#include "base/text.h"
#include "dialogs/frm_password2.h"
#include "dialogs/stand_ins.h"
#include "platform/process_end.h"
#include "platform/settings_store.h"
#include "assets/asset_names.h"
#include "dialogs/saver_names.h"

namespace plenova::dialogs {

namespace {

constexpr std::uint32_t kYellow = 0x0000FFFF;
constexpr std::uint32_t kBlack = 0x00000000;
constexpr std::uint32_t kRed = 0x000000FF;

QLabel* MakeImage(QWidget* parent, const QString& name, const QPixmap& picture, double left,
                  double top, double width, double height) {
    auto* image = new QLabel(parent);
    image->setObjectName(name);
    image->setPixmap(picture);
    image->setScaledContents(true);  // the picture is stretched to the control
    image->setGeometry(forms::TwipsRect(left, top, width, height));
    return image;
}

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& text, double points,
                  double left, double top, double width, double height, bool opaque) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(forms::UiFont(points));
    label->setGeometry(forms::TwipsRect(left, top, width, height));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(true);
    forms::SetColors(*label, forms::ColorWord(kYellow), forms::ColorWord(kBlack), opaque);
    return label;
}

}  // namespace

int SensitivityForDisplay(const std::string& stored) {
    Int16 value = 1;
    try {
        value = RoundToInt16(NumericValue(stored));
    } catch (const OverflowError&) {
        value = 1;  // beyond 16 bits: as any other value outside 1 to 10
    }
    if (value > 10 || value < 1) value = 1;
    return value;
}

bool PasswordSwitchForDisplay(const std::string& stored) {
    // The check box has two states; a value that is not a number, or another number than 0
    // and 1, shows unchecked, as the saver treats it (only exactly 1 switches the password on).
    try {
        return ConvertToInt16(stored) == 1;
    } catch (const RuntimeError&) {  // not a number: unchecked
        return false;
    }
}

frmSetting::frmSetting(QWidget* parent)
    : forms::Form(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmSetting"));
    setWindowTitle(QString::fromUtf8(kSettingCaption));
    SetFixedClientTwips(6255, 4860);
    // Black window; the controls keep their own colours (buttons the system's).
    QPalette black = palette();
    black.setColor(QPalette::Window, forms::ColorWord(kBlack));
    setPalette(black);
    setAutoFillBackground(true);
    const QIcon programIcon = forms::LoadResourceIcon(assets::kProgramIcon, forms::DrawProgramIconStandIn);
    setWindowIcon(programIcon);

    // Decoration first, so that the controls lie above it.
    Image6 = MakeImage(this, QStringLiteral("Image6"),
                       forms::LoadResourcePicture(assets::kTitlePicture, {206, 71}, DrawTitleStandIn),
                       1680, 120, 3090, 1065);
    Image1 = MakeImage(this, QStringLiteral("Image1"), programIcon.pixmap(32, 32), 2880, 840,
                       480, 480);
    Image5 = MakeImage(this, QStringLiteral("Image5"),
                       forms::LoadResourcePicture(assets::kStar45, {45, 45}, DrawStarStandIn), 2400,
                       1800, 675, 675);
    Image4 = MakeImage(this, QStringLiteral("Image4"),
                       forms::LoadResourcePicture(assets::kStar31, {31, 31}, DrawStarStandIn), 1200,
                       1680, 465, 465);
    Image3 = MakeImage(this, QStringLiteral("Image3"),
                       forms::LoadResourcePicture(assets::kStar25, {25, 25}, DrawStarStandIn), 5040,
                       1320, 375, 375);
    const QPixmap star15 = forms::LoadResourcePicture(assets::kStar15, {15, 15}, DrawStarStandIn);
    static constexpr std::array<std::array<int, 2>, 8> kStarPlaces{{{3240, 1680},
                                                                     {5400, 360},
                                                                     {3240, 3240},
                                                                     {360, 480},
                                                                     {600, 2280},
                                                                     {5640, 3720},
                                                                     {1200, 1200},
                                                                     {4200, 1080}}};
    for (std::size_t i = 0; i < Image2.size(); ++i) {
        Image2[i] = MakeImage(this, QStringLiteral("Image2_%1").arg(i), star15,
                              kStarPlaces[i][0], kStarPlaces[i][1], 225, 225);
    }

    cmdChangePass = forms::MakeButton(this, QStringLiteral("cmdChangePass"),
                               QStringLiteral("パスワードの変更(&C)"), 960, 3720, 1935, 495);
    lblMouse = MakeLabel(this, QStringLiteral("lblMouse"), QString(), 18, 4440, 2760, 495, 375,
                         true);
    lblMouse->setWordWrap(false);
    Label2 = MakeLabel(this, QStringLiteral("Label2"), QStringLiteral("マウスの感度"), 9.75, 3480,
                       2760, 855, 375, true);
    cmdUp = forms::MakeButton(this, QStringLiteral("cmdUp"), QString(), 5160, 2400, 495, 495);
    cmdUp->setIcon(forms::LoadResourceIcon(assets::kUpIcon, DrawUpIconStandIn));
    cmdUp->setIconSize({32, 32});
    cmdDown = forms::MakeButton(this, QStringLiteral("cmdDown"), QString(), 5160, 3000, 495, 495);
    cmdDown->setIcon(forms::LoadResourceIcon(assets::kDownIcon, DrawDownIconStandIn));
    cmdDown->setIconSize({32, 32});
    cmdOK = forms::MakeButton(this, QStringLiteral("cmdOK"), QStringLiteral("終了(&X)"), 3480, 3720,
                       1935, 495);

    chkUsePass = new QCheckBox(QStringLiteral("パスワードを使用する"), this);
    chkUsePass->setObjectName(QStringLiteral("chkUsePass"));
    chkUsePass->setFont(forms::UiFont(11.25, true));
    chkUsePass->setGeometry(forms::TwipsRect(720, 2760, 2655, 375));
    forms::SetColors(*chkUsePass, forms::ColorWord(kYellow), forms::ColorWord(kBlack), true);

    Label1 = MakeLabel(this, QStringLiteral("Label1"),
                       QStringLiteral("Plenova Saver  © Plenova Project"), 12,
                       1200, 4320, 4335, 255, false);
    Label1->setWordWrap(false);

    // Tab order: cmdChangePass, lblMouse, Label2, cmdUp, cmdDown, cmdOK, chkUsePass, Label1
    // (the labels take no focus).
    setTabOrder(cmdChangePass, cmdUp);
    setTabOrder(cmdUp, cmdDown);
    setTabOrder(cmdDown, cmdOK);
    setTabOrder(cmdOK, chkUsePass);

    QObject::connect(cmdUp, &QPushButton::clicked, this, [this] { cmdUp_Click(); });
    QObject::connect(cmdDown, &QPushButton::clicked, this, [this] { cmdDown_Click(); });
    QObject::connect(cmdChangePass, &QPushButton::clicked, this, [this] { cmdChangePass_Click(); });
    QObject::connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    // Enter presses the focused button; Esc closes the dialog as 終了 does.
    SetDialogButtons(nullptr, cmdOK);
}

void frmSetting::Form_Load() {
    presence_ = platform::WindowPresence::Register(kSettingCaption);
    CenterOnScreen();
    const int mouse = SensitivityForDisplay(platform::ReadSetting(kAppName, "Set", "Mouse", "1"));
    lblMouse->setText(QString::number(mouse));
    const bool usePassword =
        PasswordSwitchForDisplay(platform::ReadSetting(kAppName, "User", "Usepassword", "0"));
    chkUsePass->setChecked(usePassword);
}

void frmSetting::cmdUp_Click() {
    const int v = SensitivityForDisplay(lblMouse->text().toStdString());
    if (v < 10) lblMouse->setText(QString::number(v + 1));
}

void frmSetting::cmdDown_Click() {
    const int v = SensitivityForDisplay(lblMouse->text().toStdString());
    if (v > 1) lblMouse->setText(QString::number(v - 1));
}

void frmSetting::cmdChangePass_Click() {
    auto dialog = std::make_unique<frmPassword2>(this);
    passwordDialog_ = dialog.get();
    struct Reset {
        forms::Form*& slot;
        ~Reset() { slot = nullptr; }
    } reset{passwordDialog_};
    dialog->ShowModal();
}

void frmSetting::cmdOK_Click() { Unload(); }

void frmSetting::Form_Unload(int&) {
    platform::WriteSetting(kAppName, "Set", "Mouse", lblMouse->text().toStdString());
    platform::WriteSetting(kAppName, "User", "Usepassword", chkUsePass->isChecked() ? "1" : "0");
    platform::EndProcess(0);
}

void frmSetting::paintEvent(QPaintEvent* event) {
    forms::Form::paintEvent(event);
    // Four red lines, two pixels wide, frame the sensitivity.
    QPainter painter(this);
    QPen pen(forms::ColorWord(kRed));
    pen.setWidth(2);
    painter.setPen(pen);
    const QRect box = forms::TwipsRect(4320, 2640, 5040 - 4320, 3240 - 2640);
    painter.drawRect(QRectF(box.left(), box.top(), box.width(), box.height()));
}

}  // namespace plenova::dialogs
