// The screen-saver page of Display Properties under Qt's offscreen platform: what it offers,
// what its buttons write, and the still picture it shows where the saver cannot draw.
#include "tools/plenova_machine/desk_page.h"

#include <filesystem>
#include <fstream>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include <gtest/gtest.h>

#include "platform/machine.h"
#include "platform/registry.h"
#include "tests/support/temp_folder.h"
#include "tools/plenova_machine/host_logic.h"

namespace plenova::machine_tool {
namespace {

namespace fs = std::filesystem;
using platform::Hive;

class DeskPageTest : public ::testing::Test {
protected:
    DeskPageTest() {
        const fs::path windows = folder_ / "machine/drive_c/WINDOWS";
        fs::create_directories(windows / "SYSTEM");
        std::ofstream(windows / "PlenovaSaver.scr") << "saver";
        std::ofstream(windows / "SYSTEM/Other.SCR") << "saver";
        std::ofstream(windows / "notes.txt") << "not a saver";
        // A link that a setup medium could plant, to a host program: not offered.
        fs::create_symlink("/bin/true", windows / "Host.scr");
        QImage still(40, 30, QImage::Format_RGB32);
        still.fill(QColor(0x20, 0x40, 0xC0));
        still.save(QString::fromStdString((windows / "prev.bmp").string()), "BMP");
    }
    std::string Value(const char* name) const {
        return registry_.QueryString(Hive::CurrentUser, kDesktopKey, name).value_or("<missing>");
    }

    testing::TempFolder folder_{"plenova-desk"};
    platform::ScopedMachine scoped_{folder_ / "machine"};
    platform::Machine& machine_ = platform::CurrentMachine();
    platform::Registry registry_{machine_};
};

TEST_F(DeskPageTest, OffersTheMachinesSaversAndWritesTheThreeValues) {
    DeskPage page(machine_, registry_);
    EXPECT_EQ(page.Savers(), (std::vector<std::string>{"C:\\WINDOWS\\PlenovaSaver.scr",
                                                       "C:\\WINDOWS\\SYSTEM\\Other.SCR"}));
    auto* list = page.findChild<QComboBox*>();
    auto* wait = page.findChild<QSpinBox*>();
    auto* buttons = page.findChild<QDialogButtonBox*>();
    ASSERT_TRUE(list && wait && buttons);
    EXPECT_EQ(list->currentText(), QStringLiteral("(None)"));
    EXPECT_EQ(list->itemText(1), QStringLiteral("PlenovaSaver"));

    list->setCurrentIndex(1);
    wait->setValue(5);
    buttons->button(QDialogButtonBox::Apply)->click();
    EXPECT_EQ(Value(kSaveActiveName), "1");
    EXPECT_EQ(Value(kSaveTimeOutName), "300");
    EXPECT_EQ(Value(kSaverName), "C:\\WINDOWS\\PlenovaSaver.scr");

    // Opened again, the page shows what was written; (None) and OK switch the saver off.
    DeskPage again(machine_, registry_);
    auto* list2 = again.findChild<QComboBox*>();
    EXPECT_EQ(list2->currentText(), QStringLiteral("PlenovaSaver"));
    EXPECT_EQ(again.findChild<QSpinBox*>()->value(), 5);
    list2->setCurrentIndex(0);
    again.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(Value(kSaveActiveName), "0");
    EXPECT_EQ(Value(kSaverName), "<missing>");

    // Cancel writes nothing.
    DeskPage third(machine_, registry_);
    third.findChild<QComboBox*>()->setCurrentIndex(2);
    third.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
    EXPECT_EQ(Value(kSaveActiveName), "0");
}

TEST_F(DeskPageTest, WithoutAnXServerTheScreenShowsTheSaversStillPicture) {
    DeskPage page(machine_, registry_);
    page.findChild<QComboBox*>()->setCurrentIndex(1);
    page.show();
    QLabel* still = nullptr;
    for (QLabel* label : page.findChildren<QLabel*>())
        if (label->hasScaledContents()) still = label;
    ASSERT_NE(still, nullptr);
    EXPECT_TRUE(still->isVisible());
    const QImage shown = still->grab().toImage();
    EXPECT_EQ(shown.size(), QSize(152, 112));
    EXPECT_EQ(shown.pixelColor(76, 56), QColor(0x20, 0x40, 0xC0));
}

}  // namespace
}  // namespace plenova::machine_tool

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int qtArgc = 1;
    QApplication application(qtArgc, argv);
    return RUN_ALL_TESTS();
}
