// Channel search end to end: the real plug-in, loaded from build/bin as the player loads it,
// drives the emulated stick, which receives "the air" of a receiver.conf. The terminal clock runs
// ten times faster.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "m4systems/clock.h"
#include "m4systems/log.h"
#include "rxmod/rxmod_api.h"
#include "support/environment.h"
#include "support/no_stick.h"
#include "support/temp_dir.h"
#include "usbdev/device_provider.h"
#include "usbdev/rxsim/rxsim.h"

namespace koru::test {
namespace {

constexpr int kRegion2[] = {208736, 207008, 205280, 184736, 183008, 181280};
constexpr size_t kRecordSize = 11184;

// The plug-in's exports, resolved once from build/bin/librxmod.so.
struct Plugin {
    DMB_API_SearchChannelFn search = nullptr;
    void (*get_hw_name)(char*, uint32_t*) = nullptr;

    static const Plugin& Get() {
        static const Plugin plugin = [] {
            Plugin p;
            const std::string path = (BinDir() / "librxmod.so").string();
            void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (library == nullptr) return p;
            p.search =
                reinterpret_cast<DMB_API_SearchChannelFn>(dlsym(library, "DMB_API_SearchChannel"));
            p.get_hw_name =
                reinterpret_cast<void (*)(char*, uint32_t*)>(dlsym(library, "BB_API_GetHWName"));
            return p;
        }();
        return plugin;
    }
};

struct SearchResult {
    int result = 0;
    std::vector<ServiceEntry> entries;
};

class SearchIntegrationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(Plugin::Get().search, nullptr) << "librxmod.so not loaded from " << BinDir();
        if (ReferenceEti().empty()) GTEST_SKIP() << "the reference recording is not there";
        M4_SetClockScale(10.0);
        old_folder_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_.path());
    }

    void TearDown() override {
        M4_SetLogSink(nullptr, nullptr);
        M4_SetLogLevel(1);
        usbdev::SetDeviceProvider(nullptr);
        emulator_.reset();
        if (!old_folder_.empty()) std::filesystem::current_path(old_folder_);
    }

    // The reference recording on 208736 kHz; extra lines go before the air.
    void InstallReferenceAir(const std::string& extra = "") {
        rxsim::StickConfig config;
        std::string error;
        const std::string conf = extra + "air 208736 " + ReferenceEti().string() + "\n";
        ASSERT_TRUE(rxsim::ParseReceiverConf(conf, folder_.str(), &config, &error)) << error;
        emulator_ = std::make_shared<rxsim::Emulator>(config);
        usbdev::SetDeviceProvider(emulator_);
    }

    SearchResult Search(int khz) {
        SearchResult out;
        ServiceEntry entries[DMB_MAX_SERVICES] = {};
        int32_t count = 0;
        out.result = Plugin::Get().search(khz * 0.001, entries, &count, 3000);
        for (int i = 0; i < count && i < DMB_MAX_SERVICES; ++i)
            out.entries.push_back(entries[i]);
        return out;
    }

    uintmax_t ChannelFileSize() const {
        std::error_code error;
        const auto size = std::filesystem::file_size(folder_.path() / "channel.dat", error);
        return error ? 0 : size;
    }

    TempDir folder_;
    std::filesystem::path old_folder_;
    std::shared_ptr<rxsim::Emulator> emulator_;
};

// The service labels of the record of one frequency in channel.dat, by service index, read
// from the file's documented layout.
std::map<int, std::string> CachedLabels(const std::filesystem::path& file, int khz) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::map<int, std::string> labels;
    for (size_t at = 4; at + kRecordSize <= bytes.size(); at += kRecordSize) {
        double frequency;
        std::memcpy(&frequency, bytes.data() + at, 8);
        if (frequency != khz * 0.001) continue;
        for (int i = 0; i < 64; ++i) {
            const char* service = bytes.data() + at + 44 + i * 144;
            if (static_cast<uint8_t>(service[0]) == 0x63 && service[108] != '\0') {
                labels[i] = std::string(service + 108, strnlen(service + 108, 16));
            }
        }
    }
    return labels;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

// The service index of each entry is the index of its record in the ensemble as the search
// decoded it (services are numbered as the FIC announces them, which depends on where the air
// was when the search began); it must lead to the same service in "channel.dat".
void ExpectIndicesLeadToTheCachedServices(const SearchResult& found, int khz) {
    const std::map<int, std::string> cached = CachedLabels("channel.dat", khz);
    std::set<int> indices;
    for (const ServiceEntry& entry : found.entries) {
        EXPECT_TRUE(indices.insert(entry.service_index).second) << entry.service_index;
        ASSERT_EQ(cached.count(entry.service_index), 1u) << entry.label;
        EXPECT_EQ(cached.at(entry.service_index), entry.label);
    }
}

void ExpectReferenceServices(const SearchResult& found) {
    ASSERT_EQ(found.result, 0);
    std::set<std::string> labels;
    for (const ServiceEntry& entry : found.entries) {
        labels.insert(entry.label);
        EXPECT_EQ(entry.kind, SERVICE_KIND_RADIO);
        EXPECT_EQ(entry.frequency, 208736 * 0.001);  // as passed in
    }
    EXPECT_EQ(labels,
              (std::set<std::string>{"Alpha Tone 440  ", "Bravo Tone 1k   ", "Charlie 2500Hz  "}));
    ExpectIndicesLeadToTheCachedServices(found, 208736);
}

TEST_F(SearchIntegrationTest, ScanningRegion2FindsTheReferenceEnsembleAndNothingElse) {
    InstallReferenceAir();
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        for (int khz : kRegion2) {
            SearchResult found = Search(khz);
            if (khz == 208736) {
                ExpectReferenceServices(found);
            } else {
                EXPECT_EQ(found.result, -20) << khz;
                EXPECT_TRUE(found.entries.empty());
            }
        }
        // One record per occupied frequency; the second scan replaces it.
        EXPECT_EQ(ChannelFileSize(), 4 + kRecordSize);
    }
}

// Log sinks that pull the stick at a given point of the search (they run on its thread).
template <const char* kLine>
void PullAt(void* user, int channel, int, const char*, const char* text) {
    if (channel == 0 && std::strncmp(text, kLine, std::strlen(kLine)) == 0) {
        static_cast<rxsim::Emulator*>(user)->Pull();
    }
}
constexpr char kLockPoll[] = "lock_stat1";
constexpr char kFicPacket[] = "fic packet";

TEST_F(SearchIntegrationTest, PullingTheStickDuringTheLockWaitGivesNoDevice) {
    InstallReferenceAir("acquisition 1500\n");
    M4_SetLogLevel(3);
    M4_SetLogSink(&PullAt<kLockPoll>, emulator_.get());
    EXPECT_EQ(Search(208736).result, -10);
    M4_SetLogSink(nullptr, nullptr);
    EXPECT_EQ(ChannelFileSize(), 0u);
    EXPECT_FALSE(emulator_->Status().open);

    emulator_->Plug();
    ExpectReferenceServices(Search(208736));
}

TEST_F(SearchIntegrationTest, PullingTheStickWhileTheFicIsReadGivesNoDevice) {
    InstallReferenceAir();
    M4_SetLogLevel(3);
    M4_SetLogSink(&PullAt<kFicPacket>, emulator_.get());
    EXPECT_EQ(Search(208736).result, -10);
    M4_SetLogSink(nullptr, nullptr);
    EXPECT_EQ(ChannelFileSize(), 0u);
    EXPECT_FALSE(emulator_->Status().open);
}

TEST_F(SearchIntegrationTest, ALostLockAndNoStickAtAll) {
    InstallReferenceAir();
    emulator_->SetLockLost(true);
    EXPECT_EQ(Search(208736).result, -20);
    emulator_->ClearFaults();
    emulator_->Pull();
    EXPECT_EQ(Search(208736).result, -10);
    usbdev::SetDeviceProvider(std::make_shared<NoStick>());
    EXPECT_EQ(Search(208736).result, -10);
}

TEST_F(SearchIntegrationTest, AnOldStickOnTheOtherLibrary) {
    InstallReferenceAir("library KoruDmbMS\nfirmware 1.3\nhardware-id 1\ntuner ITD3010\n");
    ExpectReferenceServices(Search(208736));
    char name[32] = {};
    uint32_t length = 0;
    Plugin::Get().get_hw_name(name, &length);
    EXPECT_EQ(length, 3u);
    EXPECT_STREQ(name, "NRC");
}

// dmbscan, as a user runs it: its own process, the emulated stick from a receiver.conf.
TEST_F(SearchIntegrationTest, DmbscanListsTheServicesOfTheReferenceRecording) {
    WriteFile(folder_.path() / "receiver.conf", "air 208736 " + ReferenceEti().string() + "\n");
    const std::string command = "cd '" + folder_.str() + "' && KORU_RECEIVER='" +
                                (folder_.path() / "receiver.conf").string() +
                                "' KORU_CLOCK_SCALE=10 '" + (BinDir() / "dmbscan").string() +
                                "' --freq 208736 --freq 207008 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> lines;
    char line[256];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        lines.push_back(text);
    }
    ASSERT_EQ(pclose(pipe), 0);
    ASSERT_EQ(lines.size(), 5u);
    // Service lines: kHz, index, kind, label (the indices as the search numbered them).
    std::set<std::string> services;
    std::set<int> indices;
    for (int i = 0; i < 3; ++i) {
        char label[64] = {};
        int khz = 0;
        int index = -1;
        int kind = -1;
        ASSERT_EQ(std::sscanf(lines[i].c_str(), "%d\t%d\t%d\t%63[^\n]", &khz, &index, &kind, label),
                  4)
            << lines[i];
        EXPECT_EQ(khz, 208736);
        EXPECT_EQ(kind, SERVICE_KIND_RADIO);
        indices.insert(index);
        services.insert(label);
    }
    EXPECT_EQ(services,
              (std::set<std::string>{"Alpha Tone 440", "Bravo Tone 1k", "Charlie 2500Hz"}));
    EXPECT_EQ(indices, (std::set<int>{0, 1, 2}));
    EXPECT_EQ(lines[3].rfind("# 208736\t0\t", 0), 0u) << lines[3];
    EXPECT_EQ(lines[4].rfind("# 207008\t-20\t", 0), 0u) << lines[4];
    EXPECT_EQ(ChannelFileSize(), 4 + kRecordSize);
}

// --- the demo air ----------------------------------------------------------------------------

// (label, ServiceKind) of every service a demo description puts on the air, in its order.
using Services = std::multiset<std::pair<std::string, int>>;

Services DescribedServices(int khz) {
    const std::map<std::string, int> kinds = {{"[tv]", SERVICE_KIND_TV},
                                              {"[radio]", SERVICE_KIND_RADIO},
                                              {"[data]", SERVICE_KIND_DATA},
                                              {"[tpeg]", SERVICE_KIND_TPEG}};
    std::ifstream in(SourceDir() / "data" / "demo" / (std::to_string(khz) + ".ens"));
    Services services;
    int kind = -1;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind('[', 0) == 0) {
            const auto found = kinds.find(line);
            kind = found != kinds.end() ? found->second : -1;
        } else if (kind >= 0 && line.rfind("label = ", 0) == 0) {
            services.emplace(line.substr(8), kind);
        }
    }
    return services;
}

class DemoAirTest : public SearchIntegrationTest {
  protected:
    void SetUp() override {
        ASSERT_NE(Plugin::Get().search, nullptr);
        conf_ = BinDir() / "demo" / "receiver.conf";
        for (const char* eti : {"208736.eti", "205280.eti", "1452960.eti"}) {
            if (!std::filesystem::exists(conf_.parent_path() / eti)) {
                GTEST_SKIP() << "the demo ensembles are not built in " << conf_.parent_path();
            }
        }
        M4_SetClockScale(10.0);
        old_folder_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_.path());
        emulator_ = rxsim::MakeEmulatorFromConf(conf_.string());
        ASSERT_NE(emulator_, nullptr);
        usbdev::SetDeviceProvider(emulator_);
    }

    std::filesystem::path conf_;
};

TEST_F(DemoAirTest, ScanningRegion2FindsExactlyTheDemoServices) {
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        int occupied = 0;
        for (int khz : kRegion2) {
            SCOPED_TRACE(khz);
            const SearchResult found = Search(khz);
            const Services described = DescribedServices(khz);
            if (described.empty()) {
                EXPECT_EQ(found.result, -20);
                continue;
            }
            ++occupied;
            ASSERT_EQ(found.result, 0);
            Services listed;
            for (const ServiceEntry& entry : found.entries) {
                listed.emplace(Trimmed(entry.label), entry.kind);
            }
            EXPECT_EQ(listed, described);
            ExpectIndicesLeadToTheCachedServices(found, khz);
        }
        EXPECT_EQ(occupied, 2);
        EXPECT_EQ(ChannelFileSize(), 4 + 2 * kRecordSize);
    }
}

TEST_F(DemoAirTest, TheLBandEnsemble) {
    const SearchResult found = Search(1452960);
    ASSERT_EQ(found.result, 0);
    Services listed;
    for (const ServiceEntry& entry : found.entries)
        listed.emplace(Trimmed(entry.label), entry.kind);
    EXPECT_EQ(listed, DescribedServices(1452960));
    EXPECT_EQ(Search(1454672).result, -20);
}

}  // namespace
}  // namespace koru::test
