#include "platform/message_box.h"

#include <gtest/gtest.h>

using namespace plenova::platform;

TEST(ScriptedMessageBoxes, RecordsEveryBoxAndAnswersFromTheScript) {
    ScopedScriptedMessageBoxes boxes;
    boxes->Answer(MsgResult::No);
    EXPECT_EQ(ShowMessage("Delete?", "PlenovaSetup", MsgButtons::YesNo, MsgIcon::Question),
              MsgResult::No);
    EXPECT_EQ(ShowMessage("Done", "PlenovaSetup"), MsgResult::Ok);  // script empty: first button
    ASSERT_EQ(boxes->Shown().size(), 2u);
    EXPECT_EQ(boxes->Shown()[0].text, "Delete?");
    EXPECT_EQ(boxes->Shown()[0].icon, MsgIcon::Question);
    EXPECT_EQ(boxes->Shown()[1].caption, "PlenovaSetup");
}

TEST(ScriptedMessageBoxes, ScopeRestoresThePreviousService) {
    auto outer = std::make_shared<ScriptedMessageBoxes>();
    auto previous = SetMessageBoxes(outer);
    {
        ScopedScriptedMessageBoxes inner;
        ShowMessage("inner", "x");
    }
    ShowMessage("outer", "x");
    ASSERT_EQ(outer->Shown().size(), 1u);
    EXPECT_EQ(outer->Shown()[0].text, "outer");
    SetMessageBoxes(previous);
}
