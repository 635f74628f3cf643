// dmbscan: searches one frequency or a whole region with the receiver plug-in, headless.
//   dmbscan [--eti FILE.eti[@KHZ]] [--freq KHZ | --region 0..5] [--time MS]
// --eti puts an ETI-NI recording on the air of the emulated receiver (on KHZ, else on the first
// frequency asked for, else on 208736 kHz); without --freq or --region its frequency is searched.
// Prints one line per service found, tab-separated: frequency (kHz), service index,
// ServiceKind, label; and per frequency a line "# KHZ<TAB>RESULT<TAB>MS" with the search's
// result code and the terminal-clock milliseconds it took. Like the player, it updates
// "channel.dat" in the current folder through the plug-in.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dab/charset.h"
#include "m4systems/clock.h"
#include "m4systems/folders.h"
#include "m4systems/plugin.h"
#include "rxmod/rxmod_api.h"
#include "usbdev/device_provider.h"

namespace {

constexpr int kDefaultTimeLimitMs = 3000;     // what the player's channel search allows
constexpr int kDefaultRecordingKhz = 208736;  // 12C, the first block of Seoul-Gyeonggi

// The frequency regions the player offers, in scan order (kHz).
std::vector<int> RegionFrequencies(int region) {
    switch (region) {
        case 0: {  // L-Band of Europe: blocks LA to LP
            std::vector<int> blocks;
            for (int i = 0; i < 16; ++i)
                blocks.push_back(1452960 + 1712 * i);
            return blocks;
        }
        case 1:  // Band3 of Europe: 5A to 13F, 10N, 11N, 12N after the D blocks
            return {174928, 176640, 178352, 180064, 181936, 183648, 185360, 187072, 188928,
                    190640, 192352, 194064, 195936, 197648, 199360, 201072, 202928, 204640,
                    206352, 208064, 209936, 211648, 213360, 215072, 210096, 216928, 218640,
                    220352, 222064, 217088, 223936, 225648, 227360, 229072, 224096, 230784,
                    232496, 234208, 235776, 237488, 239200};
        case 2:  // Seoul-Gyeonggi of Korea: 12C, 12B, 12A, 8C, 8B, 8A
            return {208736, 207008, 205280, 184736, 183008, 181280};
        case 3:  // All of Korea: 13C down to 7A
            return {214736, 213008, 211280, 208736, 207008, 205280, 202736,
                    201008, 199280, 196736, 195008, 193280, 190736, 189008,
                    187280, 184736, 183008, 181280, 178736, 177008, 175280};
        case 4:  // Beijing
            return {208720, 210432, 212144, 213856, 216928, 218640, 220352, 222064};
        case 5:  // Shanghai
            return {1458096, 1470080};
        default:
            return {};
    }
}

void Usage() {
    std::fprintf(stderr,
                 "usage: dmbscan [--eti FILE.eti[@KHZ]] [--freq KHZ | --region 0..5] "
                 "[--time MS]\n"
                 "  regions: 0 L-Band of Europe, 1 Band3 of Europe, 2 Seoul-Gyeonggi of Korea,\n"
                 "           3 All of Korea, 4 Beijing, 5 Shanghai\n");
}

// The search entry of the plug-in "rxmod" in the program folder, found as the player finds it
// (through the plug-in manager), else straight from the library.
DMB_API_SearchChannelFn FindSearchEntry(PluginManager** manager) {
    const std::string folder = koru::ProgramFolder();
    *manager = NewPluginManager(folder.c_str(), nullptr);
    void* entry = PM_GetProcAddress(*manager, "rxmod", "DMB_API_SearchChannel");
    if (entry == nullptr) {
        const std::string path = folder + "/librxmod.so";
        void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            std::fprintf(stderr, "dmbscan: cannot load %s: %s\n", path.c_str(), dlerror());
            return nullptr;
        }
        entry = dlsym(library, "DMB_API_SearchChannel");
    }
    return reinterpret_cast<DMB_API_SearchChannelFn>(entry);
}

// The label as printed: its 16 bytes (EBU Latin, the labels' usual character set) as UTF-8,
// without the padding spaces at the end.
std::string PrintableLabel(const char* label) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(label);
    std::string text = koru::dab::EbuLatinToUtf8({bytes, strnlen(label, 16)});
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

void SearchOne(DMB_API_SearchChannelFn search, int khz, int time_limit_ms) {
    ServiceEntry entries[DMB_MAX_SERVICES];
    std::memset(entries, 0, sizeof entries);
    int32_t count = 0;
    const uint32_t start = M4_GetSysClock();
    const int32_t result = search(khz * 0.001, entries, &count, time_limit_ms);
    const uint32_t took = M4_GetSysClock() - start;
    for (int i = 0; result == BB_SUCCESS && i < count && i < DMB_MAX_SERVICES; ++i) {
        std::printf("%d\t%d\t%d\t%s\n", khz, entries[i].service_index, entries[i].kind,
                    PrintableLabel(entries[i].label).c_str());
    }
    std::printf("# %d\t%d\t%u\n", khz, result, took);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> frequencies;
    std::string recording;
    int time_limit_ms = kDefaultTimeLimitMs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--freq" && has_value) {
            frequencies.push_back(std::atoi(argv[++i]));
        } else if (arg == "--region" && has_value) {
            const std::vector<int> region = RegionFrequencies(std::atoi(argv[++i]));
            if (region.empty()) {
                Usage();
                return 2;
            }
            frequencies.insert(frequencies.end(), region.begin(), region.end());
        } else if (arg == "--eti" && has_value) {
            recording = argv[++i];
        } else if (arg == "--time" && has_value) {
            time_limit_ms = std::atoi(argv[++i]);
        } else {
            Usage();
            return 2;
        }
    }
    if (!recording.empty()) {
        usbdev::RecordingOnAir on_air;
        std::string error;
        const int khz = frequencies.empty() ? kDefaultRecordingKhz : frequencies.front();
        if (!usbdev::UseRecordingAsAir(recording, static_cast<uint32_t>(khz), &on_air, &error)) {
            std::fprintf(stderr, "dmbscan: the recording cannot be put on the air: %s\n",
                         error.c_str());
            return 1;
        }
        std::fprintf(stderr, "dmbscan: %s on %u kHz\n", on_air.path.c_str(), on_air.frequency_khz);
        if (frequencies.empty()) frequencies.push_back(static_cast<int>(on_air.frequency_khz));
    }
    if (frequencies.empty()) {
        Usage();
        return 2;
    }
    PluginManager* manager = nullptr;
    DMB_API_SearchChannelFn search = FindSearchEntry(&manager);
    if (search == nullptr) {
        std::fprintf(stderr, "dmbscan: the plug-in has no DMB_API_SearchChannel\n");
        PM_Delete(manager);
        return 1;
    }
    for (int khz : frequencies)
        SearchOne(search, khz, time_limit_ms);
    PM_Delete(manager);
    return 0;
}
