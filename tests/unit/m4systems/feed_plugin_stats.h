// What the test feed plug-in reports (FeedPluginGetStats, found with PM_GetProcAddress).
#ifndef KORU_TESTS_FEED_PLUGIN_STATS_H
#define KORU_TESTS_FEED_PLUGIN_STATS_H

#include <cstdint>

struct FeedPluginStats {
    uint64_t delivered;          // bytes handed to the terminal
    uint32_t deliveries;         // deliver-data calls
    uint32_t start_ms;           // terminal clock at connect
    uint32_t first_delivery_ms;  // terminal clock at the first delivery
    uint32_t key_frame_ms;       // terminal clock when the first key frame had fully arrived
    int64_t stream_ms;           // stream time (PCR or audio position) of the last delivery
    uint32_t loops;              // times the file started again
    uint32_t finished;           // 1 when the feed ended (not looping)
};

typedef void (*FeedPluginGetStatsFn)(FeedPluginStats*);
typedef void (*FeedPluginHoldFn)(int hold);

#endif
