// The setup program's windows on Qt's offscreen platform: geometry at 15 twips per pixel, texts,
// fonts and tab order, the destination dialog and its folder browser on a real machine, the copy
// window's stop question, and the background's bands on grabbed images.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "setup/frm_back.h"
#include "setup/frm_copy.h"
#include "setup/frm_path.h"
#include "setup/frm_sansho.h"
#include "setup/frm_wait.h"
#include "setup/module1.h"
#include "setup/qt_setup_windows.h"
#include "tests/dialogs/form_test_support.h"

using namespace plenova;
using namespace plenova::setup;
using plenova::testing::NextInTabOrder;

namespace {

using plenova::testing::WriteAll;

const QString kUiFamily = QString::fromUtf8(forms::kUiFontFamily);

struct ControlPlace {
    const char* name;
    QRect pixels;  // twips / 15, halves to even
};

// Centred by its outer frame on the 640 x 480 test screen, in twips with halves to even.
void ExpectCentred(const QWidget& form) {
    const QRect outer = form.frameGeometry();
    EXPECT_EQ(outer.left(), std::lrint((640 - outer.width()) / 2.0))
        << form.objectName().toStdString();
    EXPECT_EQ(outer.top(), std::lrint((480 - outer.height()) / 2.0))
        << form.objectName().toStdString();
}

void ExpectPlaces(const QWidget& form, std::initializer_list<ControlPlace> places) {
    for (const ControlPlace& place : places) {
        const auto* control = form.findChild<QWidget*>(QString::fromLatin1(place.name));
        ASSERT_NE(control, nullptr) << place.name;
        EXPECT_EQ(control->geometry(), place.pixels) << place.name;
    }
}

class SetupFormTest : public plenova::testing::FormTest {
protected:
    SetupFormTest() : module_(windows_, library_) {
        module_.winDir = machine_->WindowsFolder();
        module_.sysDir = machine_->SystemFolder();
        windows_.Attach(module_);
    }
    ~SetupFormTest() override {
        // The windows go before the machine and the screen they were made on.
        path_.reset();
    }

    frmPath& OpenPath(const std::string& text = "C:\\Plenova", bool curdirEnabled = true) {
        path_ = std::make_unique<frmPath>(module_);
        path_->Load();
        path_->chkCurdir->setEnabled(curdirEnabled);
        path_->txtDstdir->setText(QString::fromStdString(text));
        path_->Show();
        return *path_;
    }

    // Runs `inside` once the next modal loop has started.
    static void WhenModal(std::function<void()> inside) {
        QTimer::singleShot(0, std::move(inside));
    }

    // A table drive `letter` over a new host folder with the given subfolders.
    std::filesystem::path AddDrive(char letter, std::initializer_list<const char*> folders) {
        const auto host = temp_.Path() / (std::string("drive_") + letter);
        for (const char* folder : folders) std::filesystem::create_directories(host / folder);
        std::filesystem::create_directories(host);
        machine_->AddDrive(letter, host, platform::kDriveRemovable);
        return host;
    }

    // Browses from frmPath: `inside` runs in the open browse dialog.
    void Browse(frmPath& f, const std::function<void(frmSansho&)>& inside) {
        WhenModal([&f, inside] {
            inside(*f.Sansho());
            // A failed expectation must not leave the test waiting on the dialog.
            if (f.Sansho()->IsLoaded()) f.Sansho()->cmdCancel_Click();
        });
        f.cmdSansho_Click();
    }

    QtSetupWindows windows_;
    SupportLibrary library_;
    Module1 module_;
    std::unique_ptr<frmPath> path_;
};

// ----- frmPath -----

TEST_F(SetupFormTest, PathDialogControlsSitAtTheirPlacesWithTheirTextsAndFonts) {
    frmPath& f = OpenPath();
    EXPECT_EQ(f.size(), QSize(378, 190));  // 5670 x 2850 twips
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_FALSE(f.windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));
    ExpectPlaces(f, {{"txtDstdir", {28, 48, 265, 25}},
                     {"cmdSansho", {300, 48, 33, 25}},
                     {"cmdStart", {80, 144, 97, 25}},
                     {"cmdEnd", {200, 144, 93, 25}},
                     {"Label1", {28, 20, 265, 21}},
                     {"chkCurdir", {64, 96, 225, 25}}});
    EXPECT_EQ(f.cmdSansho->text(), QStringLiteral("..."));
    EXPECT_EQ(f.cmdStart->text(), QStringLiteral("開始"));
    EXPECT_EQ(f.cmdEnd->text(), QStringLiteral("ｷｬﾝｾﾙ"));
    EXPECT_EQ(f.Label1->text(), QStringLiteral("セットアップ先のフォルダを指定して下さい"));
    EXPECT_EQ(f.chkCurdir->text(), QStringLiteral("現在のフォルダにセットアップ"));
    EXPECT_FALSE(f.chkCurdir->isChecked());
    EXPECT_EQ(f.txtDstdir->font().family(), kUiFamily);
    EXPECT_DOUBLE_EQ(f.txtDstdir->font().pointSizeF(), 10.5);
    EXPECT_DOUBLE_EQ(f.Label1->font().pointSizeF(), 9.75);
    EXPECT_DOUBLE_EQ(f.chkCurdir->font().pointSizeF(), 9.75);
    ExpectCentred(f);
}

TEST_F(SetupFormTest, PathDialogTabOrderRunsFromTheTextBoxToTheCheckBox) {
    frmPath& f = OpenPath();
    EXPECT_EQ(NextInTabOrder(f.txtDstdir), f.cmdSansho);
    EXPECT_EQ(NextInTabOrder(f.cmdSansho), f.cmdStart);
    EXPECT_EQ(NextInTabOrder(f.cmdStart), f.cmdEnd);
    EXPECT_EQ(NextInTabOrder(f.cmdEnd), f.chkCurdir);
    EXPECT_EQ(NextInTabOrder(f.chkCurdir), f.txtDstdir);
}

TEST_F(SetupFormTest, CheckingCurdirGreysTheDestinationAndClearingItRestoresIt) {
    frmPath& f = OpenPath();
    QTest::mouseClick(f.chkCurdir, Qt::LeftButton, {}, QPoint(8, 12));
    ASSERT_TRUE(f.chkCurdir->isChecked());
    for (QWidget* w : {static_cast<QWidget*>(f.Label1), static_cast<QWidget*>(f.txtDstdir),
                       static_cast<QWidget*>(f.cmdSansho)})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_TRUE(f.cmdStart->isEnabled());
    QTest::mouseClick(f.chkCurdir, Qt::LeftButton, {}, QPoint(8, 12));
    EXPECT_TRUE(f.Label1->isEnabled() && f.txtDstdir->isEnabled() && f.cmdSansho->isEnabled());
}

TEST_F(SetupFormTest, PathDialogReportsHowItClosed) {
    struct Case {
        const char* what;
        std::function<void(frmPath&)> act;
        PathDialogClose how;
        std::string text;
        bool curdir;
    };
    const Case cases[] = {
        {"start unchanged", [](frmPath& f) { QTest::mouseClick(f.cmdStart, Qt::LeftButton); },
         PathDialogClose::Start, "C:\\Program Files\\Saver", false},
        {"start typed",
         [](frmPath& f) {
             QTest::keyClicks(f.txtDstdir, "D:\\Other");
             f.cmdStart_Click();
         },
         PathDialogClose::Start, "D:\\Other", false},
        {"start curdir",
         [](frmPath& f) {
             f.chkCurdir->click();
             f.cmdStart_Click();
         },
         PathDialogClose::Start, "C:\\Program Files\\Saver", true},
        {"cancel", [](frmPath& f) { QTest::mouseClick(f.cmdEnd, Qt::LeftButton); },
         PathDialogClose::Cancel, "C:\\Program Files\\Saver", false},
        {"close box", [](frmPath& f) { f.close(); }, PathDialogClose::Closed,
         "C:\\Program Files\\Saver", false},
    };
    for (const Case& c : cases) {
        PathDialogRequest request{"C:\\Program Files\\Saver", true, "Plenova Saver Setup", "A:"};
        WhenModal([this, &c, &request] {
            frmPath* f = windows_.PathDialog();
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(f->windowTitle(), QStringLiteral("Plenova Saver Setup"));
            // The start text is selected whole, ready to be typed over.
            EXPECT_EQ(f->txtDstdir->selectedText().toStdString(), request.dstDir);
            EXPECT_TRUE(f->isModal() || f->windowModality() == Qt::ApplicationModal);
            c.act(*f);
        });
        const PathDialogResult result = windows_.RunPathDialog(request);
        EXPECT_EQ(result.how, c.how) << c.what;
        EXPECT_EQ(result.text, c.text) << c.what;
        EXPECT_EQ(result.curdirChecked, c.curdir) << c.what;
    }
}

TEST_F(SetupFormTest, CurdirIsDisabledWhenTheSourceIsNotOnAFixedDisk) {
    PathDialogRequest request{"C:\\Saver", false, "x Setup", "A:"};
    WhenModal([this] {
        EXPECT_FALSE(windows_.PathDialog()->chkCurdir->isEnabled());
        windows_.PathDialog()->cmdStart_Click();
    });
    EXPECT_FALSE(windows_.RunPathDialog(request).curdirChecked);
}

// ----- browsing -----

TEST_F(SetupFormTest, BrowseAndCancelKeepsTheTextAndSelectsItWhole) {
    frmPath& f = OpenPath("C:\\WINDOWS");
    f.txtDstdir->setSelection(0, 2);
    Browse(f, [](frmSansho& s) { QTest::mouseClick(s.cmdCancel, Qt::LeftButton); });
    EXPECT_EQ(f.txtDstdir->text(), QStringLiteral("C:\\WINDOWS"));
    EXPECT_EQ(f.txtDstdir->selectedText(), QStringLiteral("C:\\WINDOWS"));
    EXPECT_EQ(f.Sansho()->sanshodir, "");

    // Esc is the cancel button, the close box keeps the start text: the text stays either way.
    f.txtDstdir->setText(QStringLiteral("C:\\nowhere"));
    Browse(f, [](frmSansho& s) { QTest::keyClick(s.Dir1, Qt::Key_Escape); });
    EXPECT_EQ(f.txtDstdir->text(), QStringLiteral("C:\\nowhere"));
    Browse(f, [](frmSansho& s) { s.close(); });
    EXPECT_EQ(f.txtDstdir->text(), QStringLiteral("C:\\nowhere"));
    EXPECT_EQ(f.Sansho()->sanshodir, "C:\\nowhere");
    EXPECT_EQ(f.txtDstdir->selectedText(), f.txtDstdir->text());
}

TEST_F(SetupFormTest, BrowseStartsAtTheTextOrElseAtTheWindowsDrivesRoot) {
    machine_->MakeFolders("C:\\Program Files\\Saver");
    WriteAll(*machine_->ToHost("C:\\WINDOWS") / "file.txt", "x");
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Program Files\\Saver", "C:\\Program Files\\Saver"},
        {"c:\\program files", "C:\\Program Files"},  // shown in the disk's letter case
        {"C:\\Program Files\\Missing", "C:\\"},
        {"", "C:\\"},
        {"C:\\WINDOWS\\file.txt", "C:\\"},  // a file is not a folder to open
        {"Q:\\no drive", "C:\\"},
    };
    frmPath& f = OpenPath();
    for (const auto& [text, opened] : cases) {
        f.txtDstdir->setText(QString::fromUtf8(text));
        std::string shown;
        char drive = 0;
        Browse(f, [&](frmSansho& s) {
            shown = s.labPath->text().toStdString();
            drive = s.Drive1->Drive();
            EXPECT_EQ(s.Dir1->Path(), shown) << text;
            s.cmdCancel_Click();
        });
        EXPECT_EQ(shown, opened) << text;
        EXPECT_EQ(drive, 'C') << text;
    }
}

TEST_F(SetupFormTest, FolderListShowsTheChainToTheOpenFolderAndItsSubfolders) {
    machine_->MakeFolders("C:\\Apps\\Zeta");
    machine_->MakeFolders("C:\\Apps\\alpha");
    machine_->MakeFolders("C:\\Apps\\Beta");
    machine_->MakeFolders("C:\\Apps\\.hidden");
    WriteAll(*machine_->ToHost("C:\\Apps") / "notafolder", "x");
    FolderList list;
    ASSERT_TRUE(list.SetPath("C:\\Apps"));
    QStringList rows;
    for (QTreeWidgetItemIterator it(&list); *it; ++it) rows << (*it)->text(0);
    EXPECT_EQ(rows, (QStringList{"c:\\", "Apps", "alpha", "Beta", "Zeta"}));
    EXPECT_EQ(FolderList::PathOf(list.currentItem()), "C:\\Apps");
    EXPECT_FALSE(list.SetPath("C:\\Apps\\notafolder"));
    EXPECT_EQ(list.Path(), "C:\\Apps");
}

TEST_F(SetupFormTest, DrivesAndDoubleClicksChooseTheFolderThatOkReturns) {
    AddDrive('D', {"Games/Saver", "Music"});
    machine_->MakeFolders("C:\\Program Files");
    frmPath& f = OpenPath("C:\\Program Files");
    Browse(f, [](frmSansho& s) {
        // Every drive of the machine is listed.
        QStringList drives;
        for (int i = 0; i < s.Drive1->count(); ++i) drives << s.Drive1->itemText(i).left(2);
        EXPECT_EQ(drives, (QStringList{"c:", "d:", "z:"}));

        s.Drive1->setCurrentIndex(1);
        s.Drive1_Change();
        EXPECT_EQ(s.Dir1->Path(), "D:\\");
        EXPECT_EQ(s.labPath->text(), QStringLiteral("D:\\"));

        auto find = [&s](const char* name) {
            const auto items =
                s.Dir1->findItems(QString::fromLatin1(name), Qt::MatchExactly | Qt::MatchRecursive);
            return items.isEmpty() ? nullptr : items.front();
        };
        QTreeWidgetItem* games = find("Games");
        ASSERT_NE(games, nullptr);
        emit s.Dir1->itemActivated(games, 0);  // a double-click opens it
        EXPECT_EQ(s.labPath->text(), QStringLiteral("D:\\Games"));
        QTreeWidgetItem* saver = find("Saver");
        ASSERT_NE(saver, nullptr);
        // Only highlighted: not the folder OK returns.
        s.Dir1->setCurrentItem(saver);
        EXPECT_EQ(s.labPath->text(), QStringLiteral("D:\\Games"));
        QTest::mouseClick(s.cmdOK, Qt::LeftButton);
    });
    EXPECT_EQ(f.txtDstdir->text(), QStringLiteral("D:\\Games"));
    EXPECT_EQ(f.txtDstdir->selectedText(), QStringLiteral("D:\\Games"));

    // Enter is the default button: it returns the open folder too. A drive added meanwhile is
    // listed on the next opening.
    AddDrive('F', {});
    Browse(f, [](frmSansho& s) {
        EXPECT_GE(s.Drive1->findData(QChar('F')), 0);
        QTest::keyClick(s.Dir1, Qt::Key_Return);
    });
    EXPECT_EQ(f.txtDstdir->text(), QStringLiteral("D:\\Games"));
}

TEST_F(SetupFormTest, ADriveThatIsNotReadyLeavesTheBrowserOnTheOpenFolder) {
    const auto host = AddDrive('E', {});
    std::filesystem::remove_all(host);
    machine_->MakeFolders("C:\\Program Files");
    frmPath& f = OpenPath("C:\\Program Files");
    Browse(f, [](frmSansho& s) {
        const int e = s.Drive1->findData(QChar('E'));
        ASSERT_GE(e, 0);
        s.Drive1->setCurrentIndex(e);
        s.Drive1_Change();
        EXPECT_EQ(s.Drive1->Drive(), 'C');
        EXPECT_EQ(s.Dir1->Path(), "C:\\Program Files");
        EXPECT_TRUE(s.IsLoaded());
        s.cmdOK_Click();
    });
    EXPECT_EQ(f.txtDstdir->text(), QStringLiteral("C:\\Program Files"));
}

TEST_F(SetupFormTest, BrowseDialogLooksAsDesigned) {
    frmPath& f = OpenPath();
    Browse(f, [](frmSansho& s) {
        EXPECT_EQ(s.windowTitle(), QStringLiteral("フォルダの参照"));
        EXPECT_EQ(s.size(), QSize(318, 219));  // 4770 x 3285 twips
        ExpectCentred(s);
        ExpectPlaces(s, {{"Dir1", {16, 40, 205, 138}},
                         {"Drive1", {16, 188, 205, 18}},
                         {"labPath", {16, 17, 293, 17}},
                         {"cmdOK", {232, 44, 77, 25}},
                         {"cmdCancel", {232, 80, 77, 25}}});
        EXPECT_EQ(s.cmdOK->text(), QStringLiteral("OK"));
        EXPECT_EQ(s.cmdCancel->text(), QStringLiteral("ｷｬﾝｾﾙ"));
        EXPECT_EQ(NextInTabOrder(s.Dir1), s.Drive1);
        EXPECT_EQ(NextInTabOrder(s.Drive1), s.cmdOK);
        EXPECT_EQ(NextInTabOrder(s.cmdOK), s.cmdCancel);
        EXPECT_EQ(NextInTabOrder(s.cmdCancel), s.Dir1);
        s.cmdCancel_Click();
    });
}

// ----- frmCopy and frmWait -----

TEST_F(SetupFormTest, CopyWindowShowsTheFileAndWhereItGoes) {
    windows_.ShowCopy([] {});
    frmCopy* f = windows_.CopyWindow();
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(f->windowTitle(), QStringLiteral("コピー中"));
    EXPECT_EQ(f->size(), QSize(338, 171));  // 5070 x 2565 twips
    ExpectCentred(*f);
    ExpectPlaces(*f, {{"cmdStop", {120, 128, 93, 25}},
                      {"labsrcfile", {36, 32, 261, 25}},
                      {"labdstfile", {36, 72, 261, 25}}});
    EXPECT_EQ(f->cmdStop->text(), QStringLiteral("中止"));
    EXPECT_TRUE(f->labsrcfile->alignment() & Qt::AlignHCenter);
    windows_.SetCopyLabels("A:\\Ani0001.bmp", "-> C:\\Saver\\Ani0001.bmp");
    EXPECT_EQ(f->labsrcfile->text(), QStringLiteral("A:\\Ani0001.bmp"));
    EXPECT_EQ(f->labdstfile->text(), QStringLiteral("-> C:\\Saver\\Ani0001.bmp"));
    windows_.HideCopy();
    EXPECT_EQ(windows_.CopyWindow(), nullptr);
}

TEST_F(SetupFormTest, StopAsksAndOnlyYesRequestsTheCancel) {
    windows_.ShowCopy([this] { module_.CmdStopClick(); });
    frmCopy* f = windows_.CopyWindow();
    boxes_->Answer(platform::MsgResult::No);
    QTest::mouseClick(f->cmdStop, Qt::LeftButton);
    EXPECT_EQ(module_.cancelRequested, 0);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, "セットアップを中止しますか");
    EXPECT_EQ(Boxes()[0].caption, "PlenovaSetup");
    EXPECT_EQ(Boxes()[0].buttons, platform::MsgButtons::YesNo);
    EXPECT_EQ(Boxes()[0].icon, platform::MsgIcon::Question);

    // The close box asks the same and leaves the window open.
    boxes_->Answer(platform::MsgResult::No);
    f->close();
    EXPECT_EQ(Boxes().size(), 2u);
    EXPECT_TRUE(f->isVisible());

    boxes_->Answer(platform::MsgResult::Yes);
    QTest::mouseClick(f->cmdStop, Qt::LeftButton);
    EXPECT_EQ(module_.cancelRequested, -1);
    windows_.HideCopy();
}

TEST_F(SetupFormTest, AClickOnStopIsAnsweredAtTheNextPumpOfTheCopy) {
    // A file of three blocks; the click waits in the queue for the copy's first pump.
    WriteAll(*machine_->ToHost("C:\\") / "big.bin", std::string(3 * kCopyBlockBytes, 'x'));
    windows_.ShowCopy([this] { module_.CmdStopClick(); });
    boxes_->Answer(platform::MsgResult::Yes);
    QTimer::singleShot(0, windows_.CopyWindow()->cmdStop, &QPushButton::click);
    EXPECT_EQ(module_.CopyOneFile("C:\\big.bin", "C:\\copy.bin"), kCopyCancelled);
    EXPECT_EQ(module_.cancelRequested, -1);
    EXPECT_FALSE(machine_->Exists("C:\\copy.bin"));
    windows_.HideCopy();
}

TEST_F(SetupFormTest, WaitWindowShowsItsTextUnderTheHourglass) {
    windows_.ShowWait("初期化中...");
    frmWait* f = windows_.WaitWindow();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->windowTitle().trimmed(), QString());  // no caption, not the program's name
    EXPECT_EQ(f->size(), QSize(357, 89));  // 5355 x 1335 twips
    ExpectCentred(*f);
    ExpectPlaces(*f, {{"Label", {27, 40, 306, 25}}});
    EXPECT_EQ(f->Label->text(), QStringLiteral("初期化中..."));
    EXPECT_DOUBLE_EQ(f->Label->font().pointSizeF(), 9.75);
    EXPECT_EQ(f->Label->font().family(), kUiFamily);
    EXPECT_TRUE(f->Label->alignment() & Qt::AlignHCenter);
    EXPECT_NE(f->cursor().shape(), Qt::WaitCursor);
    windows_.SetWaitHourglass();
    EXPECT_EQ(f->cursor().shape(), Qt::WaitCursor);
    // Only the program closes it.
    f->close();
    EXPECT_TRUE(f->isVisible());
    windows_.HideWait();
    EXPECT_EQ(windows_.WaitWindow(), nullptr);
}

// ----- frmBack -----

// The band of row y, computed here from the rule: band i covers rows from round(H * i) \ 256 up
// to round(H * (i + 1)) \ 256, rounding halves to even.
int BandOfRow(int y, double height) {
    for (int i = 0; i < 256; ++i) {
        const long top = std::lrint(height * i) / 256;
        const long bottom = std::lrint(height * (i + 1)) / 256;
        if (y >= top && y < bottom) return i;
    }
    return -1;
}

class BackgroundTest : public SetupFormTest, public ::testing::WithParamInterface<int> {};

TEST_P(BackgroundTest, BandsRunFromGreenToBlackRowByRowWithTheTitleInWhite) {
    const int height = GetParam();
    screen_->Set(platform::ScreenMetrics{1920, height, 15, 15});
    windows_.ShowBackground("Plenova Saver Setup");
    frmBack* back = windows_.Background();
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->windowTitle(), QStringLiteral("セットアッププログラム"));
    EXPECT_TRUE(back->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(back->geometry(), QRect(0, 0, 1920, height));
    const QImage shot = back->grab().toImage();
    ASSERT_EQ(shot.size(), QSize(1920, height));

    int mismatches = 0;
    for (int y = 0; y < height; ++y) {
        const int band = BandOfRow(y, height);
        ASSERT_GE(band, 0) << y;
        const QRgb expected = qRgb(0, 255 - band, 0);
        // The right half holds no title: every pixel there is its band's colour.
        for (int x = 960; x < 1920; x += 37) mismatches += shot.pixel(x, y) != expected;
        mismatches += shot.pixel(1919, y) != expected;
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(shot.pixel(1919, height - 1), qRgb(0, 0, 0));

    // The title: white text starting at 200, 150 twips (13, 10 pixels), none left or above it.
    int white = 0;
    int whiteOutside = 0;
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 600; ++x) {
            if (shot.pixel(x, y) != qRgb(255, 255, 255)) continue;
            ++white;
            whiteOutside += x < 13 || y < 10;
        }
    }
    EXPECT_GT(white, 100);
    EXPECT_EQ(whiteOutside, 0);
}

// 1080 rows divide into bands of 4 and 5 rows; 1000 rows give fractional edges with halves;
// fewer rows than bands leave some bands empty.
INSTANTIATE_TEST_SUITE_P(ScreenHeights, BackgroundTest, ::testing::Values(1080, 1000, 200));

TEST_F(SetupFormTest, BackgroundKeepsItsPictureAfterBeingCovered) {
    windows_.ShowBackground("X Setup");
    const QImage before = windows_.Background()->grab().toImage();
    windows_.ShowWait("スタートメニューに登録中...");
    windows_.PumpEvents();
    windows_.HideWait();
    windows_.PumpEvents();
    EXPECT_EQ(windows_.Background()->grab().toImage(), before);
    EXPECT_EQ(windows_.Background()->Picture(), before);
    // It stays until the process ends.
    windows_.Background()->close();
    EXPECT_TRUE(windows_.Background()->isVisible());
}

// ----- pictures of every window -----

// Every window renders to a picture of its own size that is more than one flat colour, and the
// pictures go to $PLENOVA_SETUP_SHOTS when that is set, for looking at.
TEST_F(SetupFormTest, EveryWindowRendersAPicture) {
    const char* folder = std::getenv("PLENOVA_SETUP_SHOTS");
    const std::filesystem::path out(folder != nullptr ? folder : "");
    if (!out.empty()) std::filesystem::create_directories(out);
    auto save = [&out](QWidget& w, const char* name) {
        const QImage picture = w.grab().toImage();
        EXPECT_EQ(picture.size(), w.size()) << name;
        const QRgb first = picture.pixel(0, 0);
        bool varied = false;
        for (int y = 0; y < picture.height() && !varied; ++y)
            for (int x = 0; x < picture.width() && !varied; ++x)
                varied = picture.pixel(x, y) != first;
        EXPECT_TRUE(varied) << name << " is one flat colour";
        if (!out.empty()) {
            EXPECT_TRUE(picture.save(QString::fromStdString((out / name).string())));
        }
    };
    screen_->Set(platform::ScreenMetrics{1024, 768, 15, 15});
    windows_.ShowBackground("Plenova Saver Setup");
    save(*windows_.Background(), "frmBack.png");

    machine_->MakeFolders("C:\\Program Files\\Plenova Saver");
    machine_->MakeFolders("C:\\Program Files\\Accessories");
    frmPath& f = OpenPath("C:\\Program Files\\Plenova Saver");
    f.setWindowTitle(QStringLiteral("Plenova Saver Setup"));
    f.txtDstdir->selectAll();
    save(f, "frmPath.png");
    f.chkCurdir->click();
    save(f, "frmPath-curdir.png");
    f.chkCurdir->click();
    Browse(f, [&](frmSansho& s) {
        save(s, "frmSansho.png");
        s.cmdCancel_Click();
    });

    windows_.ShowCopy([] {});
    windows_.SetCopyLabels("A:\\Ani0001.bmp", "-> C:\\Program Files\\Plenova Saver\\Ani0001.bmp");
    save(*windows_.CopyWindow(), "frmCopy.png");
    windows_.HideCopy();
    windows_.ShowWait("スタートメニューに登録中...");
    save(*windows_.WaitWindow(), "frmWait.png");
    windows_.HideWait();
}

}  // namespace

int main(int argc, char** argv) { return plenova::testing::RunFormTests(argc, argv); }
