// mkchannels: turns the service lines of dmbscan into the player's "channel.xml", as a channel
// search would store them: TV, radio and data services in the order found (a service repeated
// right after itself once), TPEG and other services left out.
//
//   dmbscan --region 2 | mkchannels [--language 0|1] [--region N] channel.xml
//
// Lines: frequency kHz <TAB> service index <TAB> ServiceKind <TAB> label; lines starting with
// "#" are dmbscan's per-frequency summaries and are skipped.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "player/settings/channel_store.h"
#include "player/settings/em_xmlfile.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: mkchannels [--language 0|1] [--region 0..5] OUTPUT.xml < lines\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    namespace settings = koru::settings;
    settings::ChannelStore store;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--language" && i + 1 < argc) {
            store.language = std::atoi(argv[++i]) == 1 ? 1 : 0;
        } else if (arg == "--region" && i + 1 < argc) {
            store.frequency_region = std::atoi(argv[++i]);
        } else if (output.empty() && !arg.empty() && arg[0] != '-') {
            output = arg;
        } else {
            return Usage();
        }
    }
    if (output.empty()) return Usage();

    int previous_khz = 0;
    int previous_index = -1;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string khz_text, index_text, kind_text, label;
        if (!std::getline(fields, khz_text, '\t') || !std::getline(fields, index_text, '\t') ||
            !std::getline(fields, kind_text, '\t') || !std::getline(fields, label)) {
            std::fprintf(stderr, "mkchannels: skipped \"%s\"\n", line.c_str());
            continue;
        }
        const int khz = std::atoi(khz_text.c_str());
        const int index = std::atoi(index_text.c_str());
        const int kind = std::atoi(kind_text.c_str());
        if (label.empty()) continue;
        const bool repeat = khz == previous_khz && index == previous_index;
        previous_khz = khz;
        previous_index = index;
        if (repeat) continue;
        settings::ChannelEntry entry;
        settings::SetFixedText(entry.label, label);
        entry.freq = static_cast<float>(khz / 1000.0);
        entry.subch_id = index;
        if (kind == 0) {
            entry.kind = settings::kChannelKindTv;
            store.tv.Append(entry);
        } else if (kind == 1) {
            entry.kind = settings::kChannelKindRadio;
            store.radio.Append(entry);
        } else if (kind == 3) {
            entry.kind = settings::kChannelKindData;
            store.data.Append(entry);
        }
    }
    store.watch_kind = store.tv.count > 0 ? settings::kWatchKindTv : settings::kWatchKindRadio;
    store.channels_available = store.tv.count > 0 ? 1 : 0;

    settings::EM_XmlFile file(store, output);
    file.set_volume(70);
    if (!file.SaveSettings()) {
        std::fprintf(stderr, "mkchannels: cannot write %s\n", output.c_str());
        return 1;
    }
    std::printf("mkchannels: %d TV, %d radio, %d data services in %s\n", store.tv.count,
                store.radio.count, store.data.count, output.c_str());
    return 0;
}
