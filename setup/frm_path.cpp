#include "setup/frm_path.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "setup/module1.h"

namespace plenova::setup {

frmPath::frmPath(const Module1& logic, QWidget* parent)
    : Form(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      logic_(logic) {
    setObjectName(QStringLiteral("frmPath"));
    setFont(forms::UiFont(9));
    SetFixedClientTwips(5670, 2850);

    txtDstdir = new QLineEdit(this);
    txtDstdir->setObjectName(QStringLiteral("txtDstdir"));
    txtDstdir->setFont(forms::UiFont(10.5));
    txtDstdir->setGeometry(forms::TwipsRect(420, 720, 3972, 372));

    cmdSansho = forms::MakeButton(this, QStringLiteral("cmdSansho"), QStringLiteral("..."), 4500,
                                    720, 492, 372);
    cmdStart = forms::MakeButton(this, QStringLiteral("cmdStart"), QStringLiteral("開始"), 1200,
                                   2160, 1452, 372);
    cmdEnd = forms::MakeButton(this, QStringLiteral("cmdEnd"), QStringLiteral("ｷｬﾝｾﾙ"), 3000,
                                 2160, 1392, 372);

    Label1 = new QLabel(QStringLiteral("セットアップ先のフォルダを指定して下さい"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(forms::UiFont(9.75));
    Label1->setGeometry(forms::TwipsRect(420, 300, 3975, 315));

    chkCurdir = new QCheckBox(QStringLiteral("現在のフォルダにセットアップ"), this);
    chkCurdir->setObjectName(QStringLiteral("chkCurdir"));
    chkCurdir->setFont(forms::UiFont(9.75));
    chkCurdir->setGeometry(forms::TwipsRect(960, 1440, 3375, 375));

    // Tab order: txtDstdir, cmdSansho, cmdStart, cmdEnd, Label1 (takes no focus), chkCurdir.
    setTabOrder(txtDstdir, cmdSansho);
    setTabOrder(cmdSansho, cmdStart);
    setTabOrder(cmdStart, cmdEnd);
    setTabOrder(cmdEnd, chkCurdir);

    QObject::connect(cmdStart, &QPushButton::clicked, this, [this] { cmdStart_Click(); });
    QObject::connect(cmdEnd, &QPushButton::clicked, this, [this] { cmdEnd_Click(); });
    QObject::connect(cmdSansho, &QPushButton::clicked, this, [this] { cmdSansho_Click(); });
    QObject::connect(chkCurdir, &QCheckBox::clicked, this, [this] { chkCurdir_Click(); });
    // Enter presses the focused button; Esc gives up as ｷｬﾝｾﾙ does.
    SetDialogButtons(nullptr, cmdEnd);
}

frmPath::~frmPath() = default;

void frmPath::Form_Load() { CenterOnScreen(); }

PathDialogResult frmPath::Run(const PathDialogRequest& request) {
    Load();
    chkCurdir->setEnabled(request.curdirEnabled);
    txtDstdir->setText(QString::fromStdString(request.dstDir));
    txtDstdir->selectAll();
    setWindowTitle(QString::fromStdString(request.caption));
    // Until a button says otherwise the dialog was closed by other means.
    result_ = PathDialogResult{PathDialogClose::Closed, request.dstDir, false};
    txtDstdir->setFocus();
    ShowModal();
    if (result_.how == PathDialogClose::Closed) {
        result_.text = txtDstdir->text().toStdString();
        result_.curdirChecked = CurdirChecked();
    }
    return result_;
}

void frmPath::Close(PathDialogClose how) {
    result_.how = how;
    result_.text = txtDstdir->text().toStdString();
    result_.curdirChecked = CurdirChecked();
    Unload();
}

void frmPath::cmdStart_Click() { Close(PathDialogClose::Start); }

void frmPath::cmdEnd_Click() { Close(PathDialogClose::Cancel); }

void frmPath::chkCurdir_Click() { Module1::UpdateCurdirState(*this); }

void frmPath::cmdSansho_Click() {
    if (!sansho_) sansho_ = std::make_unique<frmSansho>(logic_, this);
    sansho_->sanshodir = txtDstdir->text().toStdString();
    sansho_->ShowModal();
    if (!sansho_->sanshodir.empty()) txtDstdir->setText(QString::fromStdString(sansho_->sanshodir));
    txtDstdir->setSelection(0, static_cast<int>(txtDstdir->text().size()));
    txtDstdir->setFocus();
}

bool frmPath::CurdirChecked() const { return chkCurdir->isChecked(); }

void frmPath::SetDestinationEnabled(bool enabled) {
    Label1->setEnabled(enabled);
    txtDstdir->setEnabled(enabled);
    cmdSansho->setEnabled(enabled);
}

}  // namespace plenova::setup
