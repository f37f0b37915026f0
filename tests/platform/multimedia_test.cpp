#include "platform/multimedia.h"
#include "platform/qt/qt_audio.h"

#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include <QAudioDevice>
#include <QAudioFormat>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <gtest/gtest.h>
#include <sndfile.h>

#include "platform/machine.h"
#include "platform/message_box.h"
#include "tests/support/temp_folder.h"

using namespace plenova::platform;
using plenova::testing::ReadAll;
using plenova::testing::TempFolder;
using plenova::testing::WriteAll;

namespace {

// Writes a 16-bit sine wave file with libsndfile; returns false when it cannot.
bool WriteSine(const std::filesystem::path& path, int rate, int channels, int frames) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
    if (sf == nullptr) return false;
    std::vector<float> samples(static_cast<std::size_t>(frames * channels));
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            samples[static_cast<std::size_t>(i * channels + c)] =
                0.5f * std::sin(static_cast<float>(i) * 0.05f) * (c == 0 ? 1.0f : -1.0f);
        }
    }
    const sf_count_t written = sf_writef_float(sf, samples.data(), frames);
    sf_close(sf);
    return written == frames;
}

std::vector<std::byte> Bytes(const std::string& s) {
    std::vector<std::byte> out(s.size());
    std::memcpy(out.data(), s.data(), s.size());
    return out;
}

std::string Le32(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
    return s;
}
std::string Le16(std::uint16_t v) { return {static_cast<char>(v & 255), static_cast<char>(v >> 8)}; }

// A 16-bit mono 8 kHz WAV whose data chunk claims `claimed` bytes but holds `actual`.
std::string WavHeaderClaiming(std::uint32_t claimed, std::size_t actual) {
    std::string s = "RIFF" + Le32(claimed + 36) + "WAVE";
    s += "fmt " + Le32(16) + Le16(1) + Le16(1) + Le32(8000) + Le32(16000) + Le16(2) + Le16(16);
    s += "data" + Le32(claimed) + std::string(actual, '\x01');
    return s;
}

class MultimediaTest : public ::testing::Test {
protected:
    MultimediaTest()
        : machine_(temp_ / "machine"),
          backend_(std::make_shared<TestAudioBackend>(1000)),
          service_(backend_) {
        service_.SetReportCaption("PlenovaSaver");
    }

    // Makes a file on the machine's drive C: and returns its host path.
    std::filesystem::path MakeDriveCFile(const std::string& relative) {
        const auto host = temp_ / "machine" / "drive_c" / relative;
        WriteAll(host, "RIFF");
        return host;
    }

    std::string Status(const std::string& alias) {
        std::string reply;
        const std::uint32_t rc = service_.SendString("status " + alias + " mode", &reply, 80);
        return rc == 0 ? reply : "error " + std::to_string(rc);
    }

    TempFolder temp_;
    ScopedMachine machine_;
    std::shared_ptr<TestAudioBackend> backend_;
    MultimediaService service_;
};

TEST_F(MultimediaTest, OpenTakesEverythingBeforeTheLastAliasAsThePath) {
    MakeDriveCFile("Program Files/Plenova Saver/Scr.wav");
    MakeDriveCFile("x alias y/SCR.wav");
    EXPECT_EQ(service_.SendString("open C:\\Program Files\\Plenova Saver\\SCR.wav alias bgm"), 0u);
    ASSERT_NE(backend_->Last(), nullptr);
    EXPECT_EQ(backend_->Last()->path, "C:\\Program Files\\Plenova Saver\\SCR.wav");

    EXPECT_EQ(service_.SendString("OPEN C:\\x alias y\\SCR.wav ALIAS Second"), 0u);
    EXPECT_EQ(backend_->Last()->path, "C:\\x alias y\\SCR.wav");

    EXPECT_EQ(service_.SendString("open \"C:\\x alias y\\SCR.wav\" alias third"), 0u);
    EXPECT_EQ(backend_->Last()->path, "C:\\x alias y\\SCR.wav");

    EXPECT_EQ(service_.OpenAliases(), (std::vector<std::string>{"bgm", "second", "third"}));
    // Aliases are found without regard to letter case.
    EXPECT_EQ(service_.SendString("play SECOND notify"), 0u);
    EXPECT_EQ(Status("second"), "playing");
}

TEST_F(MultimediaTest, EveryFaultIsAnsweredWithItsOwnErrorCode) {
    MakeDriveCFile("SCR.wav");
    std::string reply = "untouched";
    EXPECT_EQ(service_.SendString("   ", &reply), mci::kMissingCommandString);
    EXPECT_EQ(reply, "");
    EXPECT_EQ(service_.SendString("fly bgm"), mci::kUnrecognizedCommand);
    EXPECT_EQ(service_.SendString("play nothing notify"), mci::kInvalidDeviceName);
    EXPECT_EQ(service_.SendString("play"), mci::kMissingDeviceName);
    EXPECT_EQ(service_.SendString("open C:\\missing.wav alias bgm"), mci::kFileNotFound);
    EXPECT_EQ(service_.SendString("open alias bgm"), mci::kMissingParameter);
    EXPECT_EQ(service_.SendString("open C:\\SCR.wav alias"), mci::kMissingParameter);
    EXPECT_EQ(service_.SendString("open C:\\SCR.wav alias all"), mci::kInvalidDeviceName);

    EXPECT_EQ(service_.SendString("open C:\\SCR.wav alias bgm"), 0u);
    EXPECT_EQ(service_.SendString("open C:\\SCR.wav alias BGM"), mci::kDuplicateAlias);
    EXPECT_EQ(service_.SendString("open C:\\SCR.wav alias bgm two"), mci::kUnrecognizedKeyword);
    EXPECT_EQ(service_.SendString("play bgm wait"), mci::kUnrecognizedKeyword);
    EXPECT_EQ(service_.SendString("status bgm"), mci::kMissingParameter);
    EXPECT_EQ(service_.SendString("status bgm colour"), mci::kUnrecognizedKeyword);
    EXPECT_EQ(service_.SendString("seek bgm"), mci::kMissingParameter);
    EXPECT_EQ(service_.SendString("seek bgm from start"), mci::kUnrecognizedKeyword);
    EXPECT_EQ(service_.SendString("seek bgm to here"), mci::kBadInteger);
    EXPECT_EQ(service_.SendString("seek bgm to -5"), mci::kOutOfRange);
    EXPECT_EQ(service_.SendString("seek bgm to 99999"), mci::kOutOfRange);
    EXPECT_EQ(service_.SendString("seek bgm to 250"), 0u);

    // A reply longer than the buffer holds: cut, and reported.
    EXPECT_EQ(service_.SendString("status bgm mode", &reply, 5), mci::kParamOverflow);
    EXPECT_EQ(reply, "stop");
    EXPECT_EQ(service_.SendString("status bgm position", &reply), 0u);
    EXPECT_EQ(reply, "250");
    EXPECT_EQ(service_.SendString("status bgm length", &reply), 0u);
    EXPECT_EQ(reply, "1000");

    // The duplicate open left the first device alone.
    EXPECT_EQ(service_.OpenAliases(), std::vector<std::string>{"bgm"});
    EXPECT_EQ(backend_->Sounds().size(), 1u);

    backend_->FailNextOpen(mci::kHardware);
    EXPECT_EQ(service_.SendString("open C:\\SCR.wav alias other"), mci::kHardware);
    EXPECT_EQ(service_.SendString("close other"), mci::kInvalidDeviceName);

    EXPECT_EQ(MciErrorText(mci::kInvalidDeviceName),
              "The specified device is not open or is not recognized by MCI.");
    EXPECT_NE(MciErrorText(4711).find("4711"), std::string::npos);
    EXPECT_NE(MciErrorText(mci::kFileNotFound), MciErrorText(mci::kInvalidFile));
}

TEST_F(MultimediaTest, ASoundPlaysStopsAtItsEndAndReplaysAfterASeekToStart) {
    MakeDriveCFile("Plenova/SCR.wav");
    ASSERT_EQ(service_.SendString("open C:\\Plenova\\SCR.wav alias bgm"), 0u);
    EXPECT_EQ(Status("bgm"), "stopped");
    ASSERT_EQ(service_.SendString("play bgm notify"), 0u);
    EXPECT_EQ(Status("bgm"), "playing");
    backend_->Advance(600);
    EXPECT_EQ(Status("bgm"), "playing");
    backend_->Advance(600);
    EXPECT_EQ(Status("bgm"), "stopped");

    // At the end a play without a seek plays nothing.
    EXPECT_EQ(service_.SendString("play bgm notify"), 0u);
    EXPECT_EQ(Status("bgm"), "stopped");
    EXPECT_EQ(backend_->Last()->plays, 1);

    EXPECT_TRUE(service_.Execute("seek bgm to start"));
    EXPECT_TRUE(service_.Execute("play bgm notify"));
    EXPECT_EQ(Status("bgm"), "playing");
    EXPECT_EQ(backend_->Last()->position, 0);
    EXPECT_EQ(backend_->Last()->plays, 2);

    EXPECT_EQ(service_.SendString("pause bgm"), 0u);
    EXPECT_EQ(Status("bgm"), "paused");
    backend_->RunToEnd();  // a paused sound does not move
    EXPECT_EQ(Status("bgm"), "paused");
    EXPECT_EQ(service_.SendString("resume bgm"), 0u);
    backend_->RunToEnd();
    EXPECT_EQ(Status("bgm"), "stopped");

    EXPECT_TRUE(service_.Execute("stop bgm"));
    EXPECT_TRUE(service_.Execute("close bgm"));
    EXPECT_TRUE(backend_->Last()->closed);
    EXPECT_EQ(Status("bgm"), "error " + std::to_string(mci::kInvalidDeviceName));
    // After closing, the alias can be opened again.
    EXPECT_EQ(service_.SendString("open C:\\Plenova\\SCR.wav alias bgm"), 0u);
    EXPECT_EQ(service_.SendString("close all"), 0u);
    EXPECT_TRUE(service_.OpenAliases().empty());
}

TEST_F(MultimediaTest, ExecuteShowsOneBoxWithTheErrorTextAndSendShowsNone) {
    ScopedScriptedMessageBoxes boxes;
    EXPECT_NE(service_.SendString("close bgm"), 0u);
    EXPECT_TRUE(boxes->Shown().empty());

    EXPECT_FALSE(service_.Execute("close bgm"));
    ASSERT_EQ(boxes->Shown().size(), 1u);
    EXPECT_EQ(boxes->Shown()[0].text, MciErrorText(mci::kInvalidDeviceName));
    EXPECT_EQ(boxes->Shown()[0].caption, "PlenovaSaver");
    EXPECT_EQ(boxes->Shown()[0].buttons, MsgButtons::Ok);

    MakeDriveCFile("SCR.wav");
    EXPECT_TRUE(service_.Execute("open C:\\SCR.wav alias bgm"));
    EXPECT_TRUE(service_.Execute("play bgm notify"));
    EXPECT_EQ(boxes->Shown().size(), 1u);

    // A play that fails through the reporting send is shown; through the silent send it is not.
    backend_->FailPlay(mci::kHardware);
    EXPECT_EQ(service_.SendString("stop bgm"), 0u);
    EXPECT_EQ(service_.SendString("play bgm notify"), mci::kHardware);
    EXPECT_EQ(boxes->Shown().size(), 1u);
    EXPECT_FALSE(service_.Execute("play bgm notify"));
    ASSERT_EQ(boxes->Shown().size(), 2u);
    EXPECT_EQ(boxes->Shown()[1].text, MciErrorText(mci::kHardware));
}

TEST_F(MultimediaTest, WithoutASoundDeviceOpenFailsQuietly) {
    ScopedScriptedMessageBoxes boxes;
    const auto wav = temp_ / "tone.wav";
    ASSERT_TRUE(WriteSine(wav, 22050, 2, 2205));

    service_.SetBackend(std::make_shared<NoAudioBackend>());
    EXPECT_EQ(service_.SendString("open " + wav.string() + " alias bgm"),
              mci::kWaveOutputsUnsuitable);
    EXPECT_EQ(service_.SendString("open " + (temp_ / "none.wav").string() + " alias bgm"),
              mci::kFileNotFound);

    // The real back end: on a machine without an output device it must fail the same quiet
    // way; with one, the sound opens and closes again without playing.
    service_.SetBackend(std::make_shared<QtAudioBackend>());
    const std::uint32_t rc = service_.SendString("open " + wav.string() + " alias bgm");
    EXPECT_TRUE(rc == 0u || rc == mci::kWaveOutputsUnsuitable) << rc;
    if (rc == 0u) {
        std::string reply;
        EXPECT_EQ(service_.SendString("status bgm length", &reply), 0u);
        EXPECT_EQ(reply, "100");
        EXPECT_EQ(service_.SendString("close bgm"), 0u);
    }
    EXPECT_EQ(service_.SendString("open " + (temp_ / "none.wav").string() + " alias x"),
              mci::kFileNotFound);
    EXPECT_TRUE(boxes->Shown().empty());
}

// Sound files on the machine are whatever its user put there. The real back end must answer
// each of these with an error or a sound no longer than the bytes it holds, without waiting on
// a FIFO, reading a device or allocating what a header claims; with or without an output
// device, since the file is judged first.
TEST_F(MultimediaTest, HostileSoundFilesAreRefusedOrOpenedWithinTheirBytes) {
    ScopedScriptedMessageBoxes boxes;
    const auto driveC = temp_ / "machine" / "drive_c";
    std::filesystem::create_directories(driveC);
    ASSERT_TRUE(WriteSine(temp_ / "good.wav", 8000, 1, 800));  // 100 ms
    const std::string good = ReadAll(temp_ / "good.wav");

    constexpr std::uint32_t kOpens = ~0u;  // opens, or fails only for want of an output
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path&)> make;
        std::uint32_t expected;
        std::int64_t maxLengthMs;  // for cases that open
    };
    const std::vector<Case> cases = {
        {"fifo.wav", [](const auto& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
         mci::kFileNotFound, 0},
        {"zero.wav", [](const auto& p) { std::filesystem::create_symlink("/dev/zero", p); },
         mci::kFileNotFound, 0},
        {"folder.wav", [](const auto& p) { std::filesystem::create_directory(p); },
         mci::kFileNotFound, 0},
        {"header_cut.wav", [&](const auto& p) { WriteAll(p, good.substr(0, 30)); },
         mci::kInvalidFile, 0},
        {"empty.wav", [](const auto& p) { WriteAll(p, ""); }, mci::kInvalidFile, 0},
        {"data_cut.wav", [&](const auto& p) { WriteAll(p, good.substr(0, good.size() / 2)); },
         kOpens, 100},
        {"claims_2gb.wav", [](const auto& p) { WriteAll(p, WavHeaderClaiming(0x7FFFFFF0u, 100)); },
         kOpens, 7},
        // Sparse: costs no disk, and must cost no memory either.
        {"huge.wav",
         [](const auto& p) {
             WriteAll(p, WavHeaderClaiming(0x7FFFFFF0u, 100));
             std::filesystem::resize_file(p, 300ull * 1024 * 1024);
         },
         mci::kOutOfMemory, 0},
    };

    service_.SetBackend(std::make_shared<QtAudioBackend>());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.make(driveC / c.name);
        const std::string command = std::string("open C:\\") + c.name + " alias snd";
        const std::uint32_t rc = service_.SendString(command);
        if (c.expected != kOpens) {
            EXPECT_EQ(rc, c.expected);
            continue;
        }
        ASSERT_TRUE(rc == 0u || rc == mci::kWaveOutputsUnsuitable) << rc;
        if (rc == 0u) {
            std::string reply;
            EXPECT_EQ(service_.SendString("status snd length", &reply), 0u);
            EXPECT_LE(std::stoll(reply), c.maxLengthMs);
            EXPECT_EQ(service_.SendString("close snd"), 0u);
        }
    }
    EXPECT_TRUE(service_.OpenAliases().empty());
    EXPECT_TRUE(boxes->Shown().empty());

    // The decoder underneath gives the same answers, and the sound it returns holds no more
    // than the file's bytes.
    DecodedSound sound;
    EXPECT_EQ(DecodeSoundFile("C:\\fifo.wav", sound), mci::kFileNotFound);
    EXPECT_EQ(DecodeSoundFile("C:\\zero.wav", sound), mci::kFileNotFound);
    EXPECT_EQ(DecodeSoundFile("C:\\huge.wav", sound), mci::kOutOfMemory);
    EXPECT_TRUE(sound.samples.empty());
    EXPECT_EQ(DecodeSoundFile("C:\\claims_2gb.wav", sound), 0u);
    EXPECT_LE(sound.Frames(), 50);
    EXPECT_LE(sound.samples.capacity(), 4096u * 2);
}

// Needs a sound output (a PulseAudio server, a null sink will do); skipped without one.
TEST_F(MultimediaTest, TheRealOutputPlaysASoundToItsEndAndAgainAfterASeek) {
    if (QMediaDevices::defaultAudioOutput().isNull()) GTEST_SKIP() << "no audio output";
    const auto wav = temp_ / "Sound Folder" / "SCR.wav";
    std::filesystem::create_directories(wav.parent_path());
    ASSERT_TRUE(WriteSine(wav, 44100, 1, 13230));  // 0.3 s
    service_.SetBackend(std::make_shared<QtAudioBackend>());
    ASSERT_EQ(service_.SendString("open " + wav.string() + " alias bgm"), 0u);
    std::string reply;
    ASSERT_EQ(service_.SendString("status bgm length", &reply), 0u);
    EXPECT_EQ(reply, "300");
    ASSERT_EQ(service_.SendString("play bgm notify"), 0u);
    EXPECT_EQ(Status("bgm"), "playing");

    // The sink is fed from the event loop; run it until the sound has ended.
    QElapsedTimer clock;
    clock.start();
    while (Status("bgm") == "playing" && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    EXPECT_EQ(Status("bgm"), "stopped");
    EXPECT_GE(clock.elapsed(), 300);
    ASSERT_EQ(service_.SendString("status bgm position", &reply), 0u);
    EXPECT_EQ(reply, "300");

    EXPECT_EQ(service_.SendString("play bgm notify"), 0u);  // at the end: nothing to play
    EXPECT_EQ(Status("bgm"), "stopped");
    EXPECT_EQ(service_.SendString("seek bgm to start"), 0u);
    EXPECT_EQ(service_.SendString("play bgm notify"), 0u);
    EXPECT_EQ(Status("bgm"), "playing");
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(service_.SendString("stop bgm"), 0u);
    EXPECT_EQ(Status("bgm"), "stopped");
    EXPECT_EQ(service_.SendString("close bgm"), 0u);
}

TEST_F(MultimediaTest, EveryCommandIsRecordedInOrderAndLogged) {
    const auto log = temp_ / "mci.log";
    service_.SetLogFile(log.string());
    std::vector<std::string> observed;
    service_.SetObserver([&](const MciRecord& r) { observed.push_back(r.command); });
    ScopedScriptedMessageBoxes boxes;
    MakeDriveCFile("SCR.wav");

    std::string reply;
    service_.SendString("open C:\\SCR.wav alias bgm");
    service_.SendString("play bgm notify");
    service_.SendString("status bgm mode", &reply, 80);
    service_.Execute("stop bgm");
    service_.Execute("close bgm");
    service_.Execute("close bgm");

    const auto& records = service_.Records();
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(records[2].command, "status bgm mode");
    EXPECT_EQ(records[2].reply, "playing");
    EXPECT_EQ(records[3].way, MciRecord::Way::Execute);
    EXPECT_EQ(records[5].result, mci::kInvalidDeviceName);
    EXPECT_EQ(observed.size(), 6u);

    service_.SetLogFile("");
    // The record keeps the recent commands only, so a program that runs for hours stays small.
    for (std::size_t i = 0; i < MultimediaService::kMaxRecords; ++i) {
        service_.SendString("status bgm mode");
    }
    EXPECT_LE(service_.Records().size(), MultimediaService::kMaxRecords);
    EXPECT_GE(service_.Records().size(), MultimediaService::kMaxRecords / 2);
    EXPECT_EQ(service_.Records().back().command, "status bgm mode");
    EXPECT_EQ(ReadAll(log),
              "send\t0\topen C:\\SCR.wav alias bgm\n"
              "send\t0\tplay bgm notify\n"
              "send\t0\tstatus bgm mode\n"
              "execute\t0\tstop bgm\n"
              "execute\t0\tclose bgm\n"
              "execute\t263\tclose bgm\n");
}

TEST_F(MultimediaTest, TheProcessWideServiceTakesTheTestBackEnd) {
    MakeDriveCFile("SCR.wav");
    ScopedTestAudio audio(500);
    EXPECT_EQ(MciSendString("open C:\\SCR.wav alias bgm"), 0u);
    EXPECT_EQ(MciSendString("play bgm notify"), 0u);
    audio->Advance(500);
    std::string reply;
    EXPECT_EQ(MciSendString("status bgm mode", &reply), 0u);
    EXPECT_EQ(reply, "stopped");
    MciExecute("close bgm");
    ASSERT_EQ(Multimedia().Records().size(), 4u);
    EXPECT_EQ(Multimedia().Records()[3].command, "close bgm");
}

TEST(SoundDecoding, AWaveFileIsDecodedWithItsRateChannelsAndSamples) {
    TempFolder temp;
    ScopedMachine machine(temp / "machine");
    const auto wav = temp / "tone.wav";
    ASSERT_TRUE(WriteSine(wav, 22050, 2, 3000));
    DecodedSound sound;
    ASSERT_EQ(DecodeSoundFile(wav.string(), sound), 0u);
    EXPECT_EQ(sound.sampleRate, 22050);
    EXPECT_EQ(sound.channels, 2);
    ASSERT_EQ(sound.Frames(), 3000);
    const float expected = 0.5f * std::sin(100 * 0.05f);
    EXPECT_NEAR(sound.samples[200], expected, 1e-3);
    EXPECT_NEAR(sound.samples[201], -expected, 1e-3);

    EXPECT_EQ(DecodeSoundFile((temp / "missing.wav").string(), sound), mci::kFileNotFound);
    EXPECT_EQ(sound.Frames(), 0);
}

TEST(SoundDecoding, MalformedFilesAreRefusedWithoutTrustingTheirHeader) {
    DecodedSound sound;
    EXPECT_EQ(DecodeSound({}, sound), mci::kInvalidFile);
    EXPECT_EQ(DecodeSound(Bytes("RIFF\x10\0\0\0WAVEfmt "), sound), mci::kInvalidFile);
    EXPECT_EQ(DecodeSound(Bytes(std::string(5000, 'x')), sound), mci::kInvalidFile);

    // A data chunk that claims 2 GB but holds 100 bytes gives at most the 50 frames there are.
    const std::uint32_t rc = DecodeSound(Bytes(WavHeaderClaiming(0x7FFFFFF0u, 100)), sound);
    if (rc == 0u) {
        EXPECT_LE(sound.Frames(), 50);
        EXPECT_LE(sound.samples.capacity(), 4096u * 2);
    } else {
        EXPECT_EQ(rc, mci::kInvalidFile);
    }

    // Limits on the decoded size hold whatever the file says.
    DecodeLimits small;
    small.maxSamples = 1000;
    EXPECT_EQ(DecodeSound(Bytes(WavHeaderClaiming(20000, 20000)), sound, small),
              mci::kOutOfMemory);
    EXPECT_TRUE(sound.samples.empty());
    small = {};
    small.maxFileBytes = 100;
    EXPECT_EQ(DecodeSound(Bytes(WavHeaderClaiming(200, 200)), sound, small), mci::kOutOfMemory);
    EXPECT_EQ(DecodeSound(Bytes(WavHeaderClaiming(20000, 20000)), sound), 0u);
    EXPECT_EQ(sound.Frames(), 10000);
}

TEST(SoundDecoding, DamagedCopiesOfAGoodFileNeverCrashOrOverstepTheLimits) {
    TempFolder temp;
    const auto wav = temp / "good.wav";
    ASSERT_TRUE(WriteSine(wav, 8000, 2, 400));
    const std::string good = ReadAll(wav);
    DecodeLimits limits;
    limits.maxSamples = 4096;
    std::uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    int decoded = 0;
    for (int round = 0; round < 500; ++round) {
        std::string damaged = good;
        const int changes = 1 + static_cast<int>(next() % 8);
        for (int i = 0; i < changes; ++i) {
            // Mostly the header, where sizes and formats live.
            const std::size_t at = next() % (next() % 4 == 0 ? damaged.size() : 64);
            damaged[at] = static_cast<char>(next() >> 24);
        }
        if (next() % 5 == 0) damaged.resize(next() % damaged.size());
        DecodedSound sound;
        const std::uint32_t rc = DecodeSound(Bytes(damaged), sound, limits);
        if (rc == 0u) {
            ++decoded;
            EXPECT_LE(static_cast<std::int64_t>(sound.samples.size()), limits.maxSamples);
            EXPECT_GE(sound.channels, 1);
            for (float v : sound.samples) ASSERT_TRUE(v >= -1.0f && v <= 1.0f);
        } else {
            EXPECT_TRUE(rc == mci::kInvalidFile || rc == mci::kOutOfMemory) << rc;
            EXPECT_TRUE(sound.samples.empty());
        }
    }
    EXPECT_GT(decoded, 0);
}

QAudioFormat Format(int rate, int channels, QAudioFormat::SampleFormat sampleFormat) {
    QAudioFormat format;
    format.setSampleRate(rate);
    format.setChannelCount(channels);
    format.setSampleFormat(sampleFormat);
    return format;
}

// The converted bytes read as samples of type T.
template <class T>
std::vector<T> SamplesOf(const std::vector<char>& pcm) {
    std::vector<T> out(pcm.size() / sizeof(T));
    std::memcpy(out.data(), pcm.data(), out.size() * sizeof(T));
    return out;
}

TEST(SoundConversion, RateChannelsAndSampleFormatFollowTheOutput) {
    const DecodedSound mono{.sampleRate = 8000, .channels = 1, .samples = {0.0f, 0.5f, 1.0f, -1.0f}};
    const QAudioFormat stereo16k = Format(16000, 2, QAudioFormat::Int16);
    std::vector<char> pcm;
    ASSERT_TRUE(ConvertToFormat(mono, stereo16k, pcm));
    ASSERT_EQ(pcm.size(), 8u * 2 * 2);  // twice the frames, two channels, two bytes
    const auto s = SamplesOf<std::int16_t>(pcm);
    EXPECT_EQ(s[0], 0);
    EXPECT_EQ(s[2], 8192);  // halfway between 0 and 0.5, on both channels
    EXPECT_EQ(s[3], 8192);
    EXPECT_EQ(s[4], 16384);
    EXPECT_EQ(s[8], 32767);
    EXPECT_EQ(s[12], -32767);

    const DecodedSound twoChannels{
        .sampleRate = 8000, .channels = 2, .samples = {1.0f, 0.0f, 0.5f, -0.5f}};
    ASSERT_TRUE(ConvertToFormat(twoChannels, Format(8000, 1, QAudioFormat::Float), pcm));
    EXPECT_EQ(SamplesOf<float>(pcm), (std::vector<float>{0.5f, 0.0f}));

    ASSERT_TRUE(ConvertToFormat(twoChannels, Format(8000, 1, QAudioFormat::UInt8), pcm));
    ASSERT_EQ(pcm.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(pcm[0]), 192);  // 128 + 0.5 * 127, rounded
    EXPECT_EQ(static_cast<unsigned char>(pcm[1]), 128);

    // A result beyond the byte limit is refused, and so is an unusable format.
    EXPECT_FALSE(ConvertToFormat(mono, stereo16k, pcm, 10));
    EXPECT_TRUE(pcm.empty());
    EXPECT_FALSE(ConvertToFormat(mono, QAudioFormat(), pcm));
}

}  // namespace

int main(int argc, char** argv) {
    // The real audio back end needs an application object; no window is ever shown.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
