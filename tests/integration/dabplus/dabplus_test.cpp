// DAB+ radio end to end: the independent DAB+ recording is the emulated stick's air, the
// terminal's plug-in manager loads build/bin/librxmod.so, a channel search numbers the services,
// and the terminal plays "bbu://" URLs as the player connects them: the sound (through the audio
// tap, on SDL's dummy device in real time, as the audio clock runs), the label (GetDLSData) and
// the slide (GetMOTFileName), and a recording (".m4a") that ffprobe and the terminal play.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "m4systems/clock.h"
#include "m4systems/log.h"
#include "m4systems/messages.h"
#include "m4systems/padaudio/padaudio.h"
#include "m4systems/plugin.h"
#include "m4systems/terminal.h"
#include "rxmod/rxmod_api.h"
#include "support/environment.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "usbdev/device_provider.h"
#include "usbdev/rxsim/rxsim.h"

namespace koru::test {
namespace {

constexpr int kKhz = 208736;
constexpr uint32_t kPlayMs = 10000;

std::string FileBytes(const std::filesystem::path& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return {};
    std::string bytes;
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        bytes.append(buffer, got);
    std::fclose(file);
    return bytes;
}

std::string Output(const std::string& command) {
    std::string out;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
            out += buffer;
        pclose(pipe);
    }
    return out;
}

// A terminal as the player makes it, with what it reports and plays.
class Listener {
  public:
    Listener() {
        plugins_ = NewPluginManager(BinDir().c_str(), nullptr);
        M4User user{};
        user.owner = this;
        user.MessageFunc = &Listener::OnMessage;
        user.plugins = plugins_;
        term_ = NewMPEG4Term(&user);
        M4T_SetAudioTap(term_, &Listener::OnAudio, this);
    }
    ~Listener() {
        M4T_Delete(term_);
        PM_Delete(plugins_);
    }
    M4Term* term() { return term_; }
    PluginManager* plugins() { return plugins_; }

    size_t Count(uint32_t code) {
        std::lock_guard lock(mutex_);
        return static_cast<size_t>(std::count(codes_.begin(), codes_.end(), code));
    }
    bool WaitFor(uint32_t code, int timeout_ms) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
            return std::find(codes_.begin(), codes_.end(), code) != codes_.end();
        });
    }
    void ResetAudio() {
        std::lock_guard lock(mutex_);
        frames_ = 0;
        crossings_ = 0;
        last_positive_ = false;
        codes_.clear();
        errors_.clear();
        rate_ = 0;
    }
    uint64_t frames() {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    // The tone of the first channel, from its zero crossings.
    double Tone() {
        std::lock_guard lock(mutex_);
        return frames_ > 0 && rate_ > 0 ? crossings_ / 2.0 * rate_ / static_cast<double>(frames_)
                                        : 0.0;
    }
    std::string label;  // the bytes GetDLSData gave on the last 1243
    std::string slide;  // the file GetMOTFileName named on the last 1245

    // The error values of the signal reports since the last ResetAudio.
    std::vector<int64_t> Errors() {
        std::lock_guard lock(mutex_);
        return errors_;
    }

  private:
    static void OnMessage(void* owner, uint32_t message, M4Param, M4Param lparam) {
        auto* self = static_cast<Listener*>(owner);
        if (message == WM_SYSTEM_SIGNAL_LEVEL && lparam != 0) {
            std::lock_guard lock(self->mutex_);
            self->errors_.push_back(static_cast<int64_t>(lparam));
        }
        if (message == WM_SYSTEM_DLS) {
            uint8_t buffer[256];
            const int length = GetDLSData(buffer);
            std::lock_guard lock(self->mutex_);
            self->label.assign(reinterpret_cast<const char*>(buffer), static_cast<size_t>(length));
        } else if (message == WM_SYSTEM_MOT_FILE) {
            MOTFileName name{};
            GetMOTFileName(&name);
            std::lock_guard lock(self->mutex_);
            self->slide = name.name;
        }
        std::lock_guard lock(self->mutex_);
        self->codes_.push_back(message);
        self->changed_.notify_all();
    }
    static void OnAudio(void* user, const int16_t* samples, uint32_t frames, uint32_t channels,
                        uint32_t rate) {
        auto* self = static_cast<Listener*>(user);
        std::lock_guard lock(self->mutex_);
        self->rate_ = rate;
        for (uint32_t i = 0; i < frames; ++i) {
            const bool positive = samples[i * channels] > 0;
            if (self->frames_ + i > 0 && positive != self->last_positive_) ++self->crossings_;
            self->last_positive_ = positive;
        }
        self->frames_ += frames;
    }

    PluginManager* plugins_ = nullptr;
    M4Term* term_ = nullptr;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<uint32_t> codes_;
    std::vector<int64_t> errors_;
    uint64_t frames_ = 0;
    uint64_t crossings_ = 0;
    bool last_positive_ = false;
    uint32_t rate_ = 0;
};

class DabPlusTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (ReferenceDabPlusEti().empty()) GTEST_SKIP() << "DAB+ reference recording absent";
        env_.Set("SDL_AUDIODRIVER", "dummy");
        old_folder_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_.path());
        rxsim::StickConfig config;
        std::string error;
        const std::string conf =
            "air " + std::to_string(kKhz) + " " + ReferenceDabPlusEti().string() + " level 20\n";
        ASSERT_TRUE(rxsim::ParseReceiverConf(conf, folder_.path().string(), &config, &error))
            << error;
        emulator_ = std::make_shared<rxsim::Emulator>(config);
        usbdev::SetDeviceProvider(emulator_);
        listener_ = std::make_unique<Listener>();
        ASSERT_NE(listener_->term(), nullptr);
        ASSERT_EQ(M4T_HasAudioOut(listener_->term()), 1) << "no audio device (SDL dummy)";
        std::filesystem::create_directories(folder_.path() / "mot");
        SetMOTPath((folder_.path() / "mot/").c_str());
        Search();
    }
    void TearDown() override {
        listener_.reset();
        usbdev::SetDeviceProvider(nullptr);
        emulator_.reset();
        if (!old_folder_.empty()) std::filesystem::current_path(old_folder_);
    }

    void Search() {
        auto search = reinterpret_cast<DMB_API_SearchChannelFn>(
            PM_GetProcAddress(listener_->plugins(), "rxmod", "DMB_API_SearchChannel"));
        ASSERT_NE(search, nullptr);
        ServiceEntry entries[DMB_MAX_SERVICES] = {};
        int32_t count = 0;
        ASSERT_EQ(search(kKhz * 0.001, entries, &count, 3000), 0);
        for (int i = 0; i < count; ++i) {
            std::string label(entries[i].label);
            label.erase(label.find_last_not_of(' ') + 1);
            index_[label] = entries[i].service_index;
        }
        ASSERT_EQ(index_.size(), 2u);
    }

    std::string Url(const std::string& label) {
        EXPECT_EQ(index_.count(label), 1u) << label;
        return "bbu://" + std::to_string(kKhz) + "," + std::to_string(index_[label]) + ",0.mp2";
    }

    // Connects and plays for ms of terminal time from the first data on.
    void Play(const std::string& url, uint32_t ms) {
        listener_->ResetAudio();
        ASSERT_EQ(M4T_ConnectURL(listener_->term(), url.c_str()), M4OK);
        ASSERT_TRUE(listener_->WaitFor(WM_SYSTEM_FIRST_FRAME, 20000));
        const uint32_t start = M4_GetSysClock();
        while (M4_GetSysClock() - start < ms)
            M4_Sleep(50);
    }

    ScopedEnv env_;
    TempDir folder_;
    std::filesystem::path old_folder_;
    std::shared_ptr<rxsim::Emulator> emulator_;
    std::unique_ptr<Listener> listener_;
    std::map<std::string, int> index_;
};

TEST_F(DabPlusTest, BothServicesPlayTheirToneWithTheLabelAndSlideOfIndia) {
    struct Case {
        const char* label;
        double tone;
    };
    for (const Case& c : {Case{"India HE 64", 900}, Case{"Juliet Mono 32k", 2200}}) {
        Play(Url(c.label), kPlayMs);
        const uint64_t frames = listener_->frames();
        const double tone = listener_->Tone();
        M4T_CloseURL(listener_->term());
        std::printf("%s: %llu frames in %u ms at 48 kHz, tone %.1f Hz\n", c.label,
                    static_cast<unsigned long long>(frames), kPlayMs, tone);
        EXPECT_GE(frames, uint64_t{48} * kPlayMs * 80 / 100) << c.label;
        EXPECT_NEAR(tone, c.tone, c.tone * 0.03) << c.label;
    }
    // India's label as broadcast (EBU Latin, all ASCII here), its slide byte for byte.
    EXPECT_EQ(listener_->label, "REFERENCE-C DLS: India HE-AAC 64 kbit/s with slideshow");
    ASSERT_FALSE(listener_->slide.empty());
    EXPECT_EQ(FileBytes(listener_->slide), FileBytes(ReferenceDir() / "slide_c_orange.jpg"));
}

// DAB+ sound goes through the output of all sound: silent at volume 0 (the player's mute), the
// tone back at 100, the clock running on.
TEST_F(DabPlusTest, VolumeAndMuteActOnDabPlusSound) {
    Play(Url("India HE 64"), 1500);
    for (const int volume : {0, 100}) {
        ASSERT_EQ(M4T_SetOption(listener_->term(), M4T_OPTION_VOLUME, volume), M4OK);
        M4_Sleep(300);  // what the device held still plays at the old volume
        listener_->ResetAudio();
        const uint32_t start = M4_GetSysClock();
        while (M4_GetSysClock() - start < 1500)
            M4_Sleep(50);
        EXPECT_GE(listener_->frames(), uint64_t{48} * 1500 * 80 / 100) << "volume " << volume;
        if (volume == 0) EXPECT_EQ(listener_->Tone(), 0.0);
        if (volume == 100) EXPECT_NEAR(listener_->Tone(), 900, 27);
    }
    M4T_CloseURL(listener_->term());
}

// The stick damages four bytes of every packet: four codewords of each superframe get one wrong
// byte a frame, five in all, as many as the code corrects. Every unit comes whole, the error
// value of the signal reports stays the air's, the sound plays on whole.
TEST_F(DabPlusTest, EveryPacketDamagedIsCorrectedAndPlaysWhole) {
    Play(Url("India HE 64"), 3000);
    const std::vector<int64_t> clean = listener_->Errors();
    ASSERT_FALSE(clean.empty());
    emulator_->SetPacketCorruption(1.0);
    listener_->ResetAudio();
    const uint32_t start = M4_GetSysClock();
    while (M4_GetSysClock() - start < 6000)
        M4_Sleep(50);
    const uint64_t frames = listener_->frames();
    const std::vector<int64_t> damaged = listener_->Errors();
    M4T_CloseURL(listener_->term());
    EXPECT_GE(frames, uint64_t{48} * 6000 * 90 / 100);
    EXPECT_NEAR(listener_->Tone(), 900, 27);
    ASSERT_FALSE(damaged.empty());
    for (int64_t error : damaged)
        EXPECT_EQ(error, clean.back());
}

TEST_F(DabPlusTest, ARecordingIsMpeg4AudioThatPlaysForItsLength) {
    // Known for DAB+ as soon as the first frame is reported: a recording started then is
    // MPEG-4 audio.
    Play(Url("India HE 64"), 0);
    ASSERT_STREQ(M4T_GetRecordExtension(listener_->term()), "m4a");
    const std::filesystem::path asked = folder_.path() / "India HE 64 12-8 16H 0M 0S.mp2";
    ASSERT_EQ(M4T_StartRecord(listener_->term(), asked.c_str()), M4OK);
    const uint32_t start = M4_GetSysClock();
    while (M4_GetSysClock() - start < 6000)
        M4_Sleep(50);
    M4T_StopRecord(listener_->term());
    const double recorded_s = (M4_GetSysClock() - start) / 1000.0;
    M4T_CloseURL(listener_->term());
    std::filesystem::path written = asked;
    written.replace_extension(".m4a");
    ASSERT_TRUE(std::filesystem::exists(written));
    EXPECT_FALSE(std::filesystem::exists(asked));

    const std::string probe = Output(
        "ffprobe -v error -show_entries format=duration:stream=codec_name,"
        "sample_rate,channels -of default=nw=1 '" +
        written.string() + "' 2>&1");
    std::printf("ffprobe:\n%s", probe.c_str());
    EXPECT_NE(probe.find("codec_name=aac"), std::string::npos) << probe;
    EXPECT_NE(probe.find("channels=2"), std::string::npos) << probe;
    const size_t at = probe.find("duration=");
    ASSERT_NE(at, std::string::npos) << probe;
    const double duration = std::stod(probe.substr(at + 9));
    // Units are written as they arrive, a superframe (120 ms) at a time.
    EXPECT_NEAR(duration, recorded_s, 0.5) << probe;

    // The terminal plays the file back with its sound, its label and its slide.
    listener_->ResetAudio();
    MOTInitVariable(1);
    ASSERT_EQ(M4T_ConnectURL(listener_->term(), written.c_str()), M4OK);
    for (int i = 0; i < 200 && M4T_IsEndOfStream(listener_->term()) == 0; ++i)
        M4_Sleep(50);
    EXPECT_EQ(M4T_IsEndOfStream(listener_->term()), 1);
    const uint64_t frames = listener_->frames();
    M4T_CloseURL(listener_->term());
    EXPECT_NEAR(frames / 48000.0, duration, 0.3);
    EXPECT_NEAR(listener_->Tone(), 900, 27);
    EXPECT_GE(listener_->Count(WM_SYSTEM_DLS), 1u);
}

}  // namespace
}  // namespace koru::test
