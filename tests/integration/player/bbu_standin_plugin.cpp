// A stand-in for the receiver plug-in's terminal interface, for the player's end-to-end run
// while the real one cannot play yet: it claims "bbu://" URLs and feeds, in real time and in a
// loop, the test media of the build tree ("…0.ts": tv10.ts, "…0.mp2": radio10.mp2), sending the
// first-data messages and a signal report as a receiver would. Nothing else of the receiver is
// imitated; the run that uses it says so in its name (e2e.player_standin).
#include <strings.h>
#include <atomic>
#include <cstdio>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "m4systems/clock.h"
#include "m4systems/messages.h"
#include "m4systems/plugin.h"
#include "m4systems/terminal.h"
#include "support/input_service_plugin.h"

namespace {

constexpr const char* kScheme = "bbu://";
constexpr uint32_t kChunkMs = 40;

struct Feed {
    std::vector<uint8_t> bytes;
    double bytes_per_ms = 0;
    std::thread thread;
    std::atomic<bool> stop{false};
};

bool ReadFile(const std::string& path, std::vector<uint8_t>* out) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0)
        out->insert(out->end(), buffer, buffer + got);
    std::fclose(file);
    return !out->empty();
}

void FeedLoop(M4InputService* service, Feed* feed) {
    M4T_SendMessage(WM_SYSTEM_SIGNAL_LEVEL, 0, 0);
    const uint32_t start = M4_GetSysClock();
    size_t at = 0;
    double due = 0;
    bool first = true;
    uint32_t last_report = start;
    while (!feed->stop) {
        // A little ahead of the media's own rate, so that the terminal never runs dry.
        due += feed->bytes_per_ms * kChunkMs * 1.05;
        size_t length = static_cast<size_t>(due) > at ? static_cast<size_t>(due) - at : 0;
        while (length > 0 && !feed->stop) {
            const size_t offset = at % feed->bytes.size();
            const size_t piece = std::min(length, feed->bytes.size() - offset);
            if (service->DeliverData != nullptr)
                service->DeliverData(service, feed->bytes.data() + offset,
                                     static_cast<uint32_t>(piece));
            at += piece;
            length -= piece;
            if (first) {
                first = false;
                M4T_SendMessage(WM_SYSTEM_RECEIVING, 0, 0);
                M4T_SendMessage(WM_SYSTEM_FIRST_FRAME, 0, 0);
            }
        }
        const uint32_t now = M4_GetSysClock();
        if (now - last_report >= 1000) {
            last_report = now;
            M4T_SendMessage(WM_SYSTEM_SIGNAL_LEVEL, 142, 0);
        }
        M4_Sleep(kChunkMs);
    }
}

int32_t CanHandleUrl(M4InputService*, const char* url) {
    return url != nullptr && strncasecmp(url, kScheme, std::strlen(kScheme)) == 0 ? 1 : 0;
}

int32_t Close(M4InputService* service) {
    return koru::test::CloseFeed<Feed>(service);
}

int32_t Connect(M4InputService* service, const char* url, int32_t) {
    Close(service);
    const std::string text = url != nullptr ? url : "";
    const bool tv = text.size() > 3 && text.compare(text.size() - 3, 3, ".ts") == 0;
    const char* folder = std::getenv("KORU_STANDIN_MEDIA");
    const std::string path = std::string(folder != nullptr ? folder : KORU_TEST_MEDIA_DIR) +
                             (tv ? "/tv10.ts" : "/radio10.mp2");
    auto* feed = new Feed;
    if (!ReadFile(path, &feed->bytes)) {
        delete feed;
        return -206;
    }
    feed->bytes_per_ms = feed->bytes.size() / 10000.0;  // the test media last 10 s
    service->context = feed;
    service->status = 3;
    feed->thread = std::thread(FeedLoop, service, feed);
    return 0;
}

}  // namespace

KORU_TEST_INPUT_SERVICE_EXPORTS("bbu stand-in", CanHandleUrl, Connect, Close)
