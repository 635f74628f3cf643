// Debian's dablin plays each radio service of the demo recordings: its messages must show the
// ensemble label, every service label, the sub-channel's start, size and protection and the
// user applications exactly as the description says, and the PCM it writes must be the tone
// that went in. dablin plays in real time, so it gets the first 6 s of each recording, and
// the services play side by side.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <future>
#include <regex>

#include "dab/eti.h"
#include "support/environment.h"
#include "support/temp_dir.h"
#include "tools/mkens/description.h"

extern char** environ;

namespace koru::mkens {
namespace {

constexpr size_t kFramesPlayed = 250;  // 6 s

struct Played {
    int status = -1;
    std::string messages;  // standard error, colours removed
    std::vector<float> left;
};

bool HaveDablin() {
    return std::system("command -v dablin >/dev/null 2>&1") == 0;
}

std::string WithoutEscapes(const std::string& text) {
    static const std::regex escapes("\x1b\\[[0-9;]*m|\x1b\\][^\x07]*\x07");
    return std::regex_replace(text, escapes, "");
}

bool Has(const std::string& messages, const std::string& line) {
    return messages.find(line) != std::string::npos;
}

Played Play(const std::filesystem::path& eti, uint32_t sid, const koru::test::TempDir& dir) {
    char name[32];
    std::snprintf(name, sizeof(name), "%X", sid);
    const auto input = dir / (std::string(name) + ".eti");
    const auto pcm = dir / (std::string(name) + ".pcm");
    const auto log = dir / (std::string(name) + ".log");
    const std::string all = koru::test::ReadFile(eti);
    koru::test::WriteFile(input, all.substr(0, kFramesPlayed * dab::kEtiFrameSize));

    char sid_text[16];
    std::snprintf(sid_text, sizeof(sid_text), "0x%X", sid);
    std::vector<std::string> args{"dablin", "-s", sid_text, "-p", input.string()};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, pcm.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    Played played;
    pid_t pid = 0;
    if (posix_spawnp(&pid, "dablin", &actions, nullptr, argv.data(), environ) == 0) {
        waitpid(pid, &played.status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
    played.messages = WithoutEscapes(koru::test::ReadFile(log));
    // 32-bit floats, the channels interleaved.
    const size_t stride = Has(played.messages, "channels: 1,") ? 4 : 8;
    const std::string samples = koru::test::ReadFile(pcm);
    for (size_t at = 0; at + stride <= samples.size(); at += stride) {
        float value;
        std::memcpy(&value, samples.data() + at, 4);
        played.left.push_back(value);
    }
    return played;
}

// Frequency from the rising zero crossings of 4 s after the first second.
double ToneFrequency(const std::vector<float>& samples) {
    const size_t begin = 48000, end = std::min(samples.size(), size_t{48000 * 5});
    if (end <= begin + 48000) return 0;
    int crossings = 0;
    size_t first = 0, last = 0;
    for (size_t i = begin + 1; i < end; ++i) {
        if (samples[i - 1] < 0 && samples[i] >= 0) {
            if (crossings == 0) first = i;
            last = i;
            ++crossings;
        }
    }
    if (crossings < 2) return 0;
    return (crossings - 1) * 48000.0 / static_cast<double>(last - first);
}

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%0*X", digits, value);
    return text;
}

void CheckService(const Description& d, const ServiceSpec& radio, const Played& played) {
    const dab::Ensemble ensemble = ToEnsemble(d);
    const std::string& m = played.messages;
    SCOPED_TRACE(radio.label);
    EXPECT_TRUE(WIFEXITED(played.status) && WEXITSTATUS(played.status) == 0) << m;
    EXPECT_TRUE(Has(m, "EId " + Hex(d.eid, 4) + ": ensemble label '" + ensemble.label.Text() +
                           "' ('" + ensemble.label.ShortText() + "')"))
        << m;
    for (const dab::Service& s : ensemble.services) {
        if (s.long_sid) continue;  // dablin lists programme services (16-bit SIds)
        EXPECT_TRUE(Has(m, "SId " + Hex(s.sid, 4) + ": programme service label '" + s.label.Text() +
                               "' ('" + s.label.ShortText() + "')"))
            << s.label.Text() << "\n"
            << m;
    }
    const dab::Subchannel* sub = ensemble.FindSubchannel(radio.subchannel);
    ASSERT_TRUE(sub);
    char line[128];
    std::snprintf(line, sizeof(line),
                  "SubChId %2d: start %3d CUs, size %3d CUs, PL %-7s = %3d kBit/s", sub->id,
                  sub->start_cu, sub->protection.SizeCu(), sub->protection.Name().c_str(),
                  sub->protection.BitrateKbps());
    EXPECT_TRUE(Has(m, line)) << line << "\n" << m;
    std::snprintf(line, sizeof(line), "SId %s: audio service (SubChId %2d, DAB , primary)",
                  Hex(radio.sid, 4).c_str(), sub->id);
    EXPECT_TRUE(Has(m, line)) << line;
    const std::string slideshow = "SId " + Hex(radio.sid, 4) + ", SCIdS  0: Slideshow";
    EXPECT_EQ(Has(m, slideshow), !radio.slides.empty()) << m;
    const std::string mode = radio.mode == "mono" ? "Mono" : "Stereo";
    EXPECT_TRUE(Has(m, "MPEG 1.0 Layer II, 48 kHz " + mode + " @ " +
                           std::to_string(sub->protection.BitrateKbps()) + " kBit/s"))
        << m;
    const double frequency = ToneFrequency(played.left);
    EXPECT_NEAR(frequency, radio.tone, radio.tone * 0.005) << m;
}

TEST(Dablin, PlaysEveryDemoRadioService) {
    if (!HaveDablin()) GTEST_SKIP() << "dablin is not installed (scripts/setup)";
    koru::test::TempDir dir;
    std::vector<Description> descriptions;
    for (const char* name : {"208736", "205280", "1452960"}) {
        std::string error;
        auto d = ParseDescription(
            koru::test::SourceDir() / "data" / "demo" / (std::string(name) + ".ens"), &error);
        ASSERT_TRUE(d) << error;
        descriptions.push_back(*d);
    }
    std::vector<std::tuple<const Description*, const ServiceSpec*, std::future<Played>>> jobs;
    const char* names[] = {"208736", "205280", "1452960"};
    for (size_t i = 0; i < descriptions.size(); ++i) {
        const auto eti = koru::test::BinDir() / "demo" / (std::string(names[i]) + ".eti");
        ASSERT_TRUE(std::filesystem::exists(eti)) << eti;
        for (const ServiceSpec& s : descriptions[i].services) {
            if (s.kind != ServiceKind::kRadio) continue;
            jobs.emplace_back(&descriptions[i], &s,
                              std::async(std::launch::async, Play, eti, s.sid, std::cref(dir)));
        }
    }
    EXPECT_EQ(jobs.size(), 5u);
    for (auto& [d, radio, played] : jobs)
        CheckService(*d, *radio, played.get());
}

}  // namespace
}  // namespace koru::mkens
