// The saver's movement check where the compositor places windows (Wayland): with no global
// pointer, it measures the positions that the saver's own windows report in motion events.
#include <memory>

#include <QCoreApplication>
#include <QMouseEvent>

#include "form_test_support.h"
#include "platform/window_system.h"
#include "saver/form1.h"
#include "saver/scr.h"
#include "scene_files.h"

using namespace plenova;
using namespace plenova::saver;
using plenova::testing::EndsProcess;

namespace {

class WaylandInputTest : public plenova::testing::FormTest {
protected:
    WaylandInputTest() {
        SCR::ResetGlobals();
        plenova::testing::scene::WriteSceneFiles(DataHostFolder());
        Write("App", "Dir", DataFolder());
    }
    ~WaylandInputTest() override { SCR::ResetGlobals(); }

    // The pointer reported over the saver window at (x, y).
    static void MoveTo(int x, int y) {
        const QPointF at(x, y);
        QMouseEvent move(QEvent::MouseMove, at, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(SCR::form1(), &move);
    }
    // One movement check.
    static bool Check() { return EndsProcess([] { SCR::form1()->Timer3_Timer(); }); }

    platform::ScopedFixedWindowSystem compositor_{
        std::make_shared<platform::FixedWindowSystem>(false)};
};

TEST_F(WaylandInputTest, TheFirstReportedPositionIsNoMoveAndEachCheckMeasuresFromTheLast) {
    Write("Set", "Mouse", "1");
    SCR::Main("/s");
    ASSERT_NE(SCR::form1(), nullptr);
    // The global pointer is out of reach; the scripted one far away must not count.
    (*cursor_).Set(5, 5);
    EXPECT_FALSE(Check());  // no position reported yet
    MoveTo(400, 300);       // where the pointer stands when the saver first sees it
    EXPECT_FALSE(Check());
    MoveTo(401, 299);
    EXPECT_FALSE(Check());
    // Between two checks only where the pointer ends up counts, as with a polled pointer.
    MoveTo(460, 250);
    MoveTo(402, 300);
    EXPECT_FALSE(Check());
    EXPECT_FALSE(Check());  // standing still
    MoveTo(402, 302);       // two pixels on one axis
    EXPECT_TRUE(Check());
}

}  // namespace

int main(int argc, char** argv) { return plenova::testing::RunFormTests(argc, argv); }
