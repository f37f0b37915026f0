// Background music (SCR.ControlMusic) over the multimedia command service with the test audio
// device: the exact commands, the way each is sent, and the mute and missing-file rules.
#include "form_test_support.h"
#include "platform/multimedia.h"
#include "saver/scr.h"

using namespace plenova;
using namespace plenova::saver;
using plenova::platform::AudioMode;
using plenova::platform::MciRecord;

namespace {

class MusicTest : public plenova::testing::FormTest {
protected:
    MusicTest() {
        SCR::ResetGlobals();
        SCR::appDir = DataFolder();
        WriteDataFile("SCR.wav");
    }
    ~MusicTest() override { SCR::ResetGlobals(); }

    static void Mute(const std::string& value) {
        platform::WriteSetting("ZEVRA6", "Set", "Mute", value);
    }
    std::vector<std::string> Commands() {
        std::vector<std::string> out;
        for (const MciRecord& r : platform::Multimedia().Records())
            out.push_back((r.way == MciRecord::Way::Send ? "send " : "execute ") + r.command);
        return out;
    }
    static void Clear() { platform::Multimedia().ClearRecords(); }
    std::string OpenCommand() { return "send open " + SCR::appDir + "SCR.wav alias bgm"; }
};

TEST_F(MusicTest, StartOpensAndPlaysSilently) {
    SCR::ControlMusic(0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{OpenCommand(), "send play bgm notify"}));
    EXPECT_EQ(SCR::bgmOpen, kTrue);
    ASSERT_NE((*audio_).Last(), nullptr);
    EXPECT_EQ((*audio_).Last()->mode, AudioMode::Playing);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(MusicTest, KeepLoopingRestartsTheEndedSoundFromTheBeginning) {
    SCR::ControlMusic(0);
    (*audio_).RunToEnd();
    Clear();
    SCR::ControlMusic(2);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"send status bgm mode",
                                                    "execute seek bgm to start",
                                                    "execute play bgm notify"}));
    EXPECT_EQ((*audio_).Last()->mode, AudioMode::Playing);
    EXPECT_EQ((*audio_).Last()->position, 0);
    EXPECT_EQ((*audio_).Last()->plays, 2);
    ASSERT_EQ(platform::Multimedia().Records()[0].reply.substr(0, 7), "stopped");
}

TEST_F(MusicTest, WholeLifeInOrder) {
    SCR::ControlMusic(0);
    SCR::ControlMusic(2);
    (*audio_).RunToEnd();
    SCR::ControlMusic(2);
    SCR::ControlMusic(1);
    EXPECT_EQ(Commands(), (std::vector<std::string>{
                              OpenCommand(), "send play bgm notify", "send status bgm mode",
                              "send status bgm mode", "execute seek bgm to start",
                              "execute play bgm notify", "execute stop bgm",
                              "execute close bgm"}));
    EXPECT_TRUE((*audio_).Last()->closed);
    EXPECT_EQ(SCR::bgmOpen, kTrue);  // the stop action does not clear it
}

TEST_F(MusicTest, MuteOneSendsNothingAtAll) {
    for (const char* value : {"1", " 1 ", "1.0"}) {
        SCR::bgmOpen = kFalse;
        Mute(value);
        Clear();
        SCR::ControlMusic(0);
        SCR::ControlMusic(2);
        SCR::ControlMusic(1);
        EXPECT_TRUE(Commands().empty()) << value;
        EXPECT_EQ(SCR::bgmOpen, kFalse);
    }
}

TEST_F(MusicTest, OtherMuteValuesPlay) {
    for (const char* value : {"0", "2", "abc", "", "-1"}) {
        SCR::ControlMusic(1);
        Mute(value);
        Clear();
        SCR::ControlMusic(0);
        EXPECT_EQ(Commands(), (std::vector<std::string>{OpenCommand(), "send play bgm notify"}))
            << '"' << value << '"';
    }
}

TEST_F(MusicTest, MissingFileSendsNothingWhateverTheAction) {
    std::filesystem::remove(DataHostFolder() / "SCR.wav");
    SCR::bgmOpen = kTrue;  // even a stale open flag sends nothing
    for (Int16 action : {0, 1, 2}) SCR::ControlMusic(action);
    EXPECT_TRUE(Commands().empty());
}

TEST_F(MusicTest, FileIsFoundWhateverItsLetterCase) {
    std::filesystem::rename(DataHostFolder() / "SCR.wav", DataHostFolder() / "scr.WAV");
    SCR::ControlMusic(0);
    EXPECT_EQ(SCR::bgmOpen, kTrue);
}

TEST_F(MusicTest, DefaultDataFolderIsTheRootOfTheCurrentDrive) {
    SCR::appDir.assign(1, '\\');  // no "App"/"Dir": the root of the current drive has no sound
    SCR::ControlMusic(0);
    EXPECT_TRUE(Commands().empty());
}

TEST_F(MusicTest, FailedOpenLeavesTheMusicClosedSilently) {
    (*audio_).FailNextOpen(platform::mci::kWaveOutputsUnsuitable);
    SCR::ControlMusic(0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{OpenCommand()}));
    EXPECT_EQ(SCR::bgmOpen, kFalse);
    Clear();
    SCR::ControlMusic(2);
    SCR::ControlMusic(1);
    EXPECT_TRUE(Commands().empty());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(MusicTest, FailedPlayClosesThroughTheReportingSend) {
    (*audio_).FailPlay(platform::mci::kHardware);
    SCR::ControlMusic(0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{OpenCommand(), "send play bgm notify",
                                                    "execute close bgm"}));
    EXPECT_EQ(SCR::bgmOpen, kFalse);
    EXPECT_TRUE(Boxes().empty());  // the close itself succeeded
}

TEST_F(MusicTest, FailedStatusQueryDoesNothingInThatCheck) {
    SCR::ControlMusic(0);
    platform::MciSendString("close bgm");  // the alias went away behind the saver's back
    Clear();
    SCR::ControlMusic(2);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"send status bgm mode"}));
    EXPECT_NE(platform::Multimedia().Records()[0].result, 0u);
}

TEST_F(MusicTest, FailuresOfTheReportingSendAreShown) {
    SCR::ControlMusic(0);
    platform::MciSendString("close bgm");
    Clear();
    SCR::ControlMusic(1);  // stop and close of a closed alias: both shown by the service
    EXPECT_EQ(Commands(), (std::vector<std::string>{"execute stop bgm", "execute close bgm"}));
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[0].icon, platform::MsgIcon::Exclamation);
}

TEST_F(MusicTest, DataFolderWithBlanksIsTakenWhole) {
    std::filesystem::create_directories(DataHostFolder() / "My Music");
    std::ofstream(DataHostFolder() / "My Music" / "SCR.wav") << "RIFF";
    SCR::appDir = DataFolder() + "My Music\\";
    SCR::ControlMusic(0);
    EXPECT_EQ(Commands()[0], OpenCommand());
    EXPECT_EQ(SCR::bgmOpen, kTrue);
}

TEST_F(MusicTest, OtherActionsDoNothing) {
    SCR::ControlMusic(0);
    Clear();
    for (Int16 action : {3, -1, 100}) SCR::ControlMusic(action);
    EXPECT_TRUE(Commands().empty());
}

}  // namespace

int main(int argc, char** argv) { return plenova::testing::RunFormTests(argc, argv); }
