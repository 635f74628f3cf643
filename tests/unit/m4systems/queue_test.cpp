#include "m4systems/queue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

TEST(ByteQueue, KeepsOrderAcrossTheRingEdgeAndRefusesWhatDoesNotFit) {
    M4ByteQueue* q = SQ_Init(8);
    ASSERT_NE(q, nullptr);
    const uint8_t first[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(SQ_PutData(q, first, 6), 6u);
    uint8_t out[8] = {};
    EXPECT_EQ(SQ_GetData(q, out, 4), 4u);
    const uint8_t second[6] = {7, 8, 9, 10, 11, 12};
    EXPECT_EQ(SQ_PutData(q, second, 6), 6u);  // wraps around the end
    EXPECT_EQ(SQ_GetDataNum(q), 8u);
    EXPECT_EQ(SQ_PutData(q, first, 1), 0u) << "a full queue refuses the whole write";
    EXPECT_EQ(SQ_GetOverflowCount(q), 1u);
    EXPECT_EQ(SQ_PeekData(q, out, 3), 3u);
    EXPECT_EQ(out[0], 5);
    EXPECT_EQ(out[2], 7);
    EXPECT_EQ(SQ_GetDataNum(q), 8u) << "peek leaves the bytes";
    EXPECT_EQ(SQ_GetData(q, out, 100), 8u);
    const uint8_t expected[8] = {5, 6, 7, 8, 9, 10, 11, 12};
    EXPECT_EQ(0, memcmp(out, expected, 8));
    EXPECT_EQ(SQ_GetData(q, out, 8), 0u);
    SQ_PutData(q, first, 3);
    SQ_Reset(q);
    EXPECT_EQ(SQ_GetDataNum(q), 0u);
    EXPECT_EQ(SQ_GetOverflowCount(q), 0u);
    SQ_Delete(q);
    EXPECT_EQ(SQ_Init(0), nullptr);
}

// A writer and a reader on two threads: every byte arrives once, in order, even though the
// writer keeps running into a full queue.
TEST(ByteQueue, TwoThreadsLoseAndDuplicateNothing) {
    M4ByteQueue* q = SQ_Init(1000);
    constexpr uint32_t kTotal = 2'000'000;
    std::thread writer([q] {
        uint8_t chunk[97];
        uint32_t next = 0;
        while (next < kTotal) {
            uint32_t n = std::min<uint32_t>(1 + next % 97, kTotal - next);
            for (uint32_t i = 0; i < n; ++i)
                chunk[i] = static_cast<uint8_t>((next + i) % 251);
            if (SQ_PutData(q, chunk, n) == n) {
                next += n;
            } else {
                std::this_thread::yield();
            }
        }
    });
    std::vector<uint8_t> received;
    received.reserve(kTotal);
    uint8_t buffer[313];
    while (received.size() < kTotal) {
        uint32_t n = SQ_GetData(q, buffer, 1 + received.size() % 313);
        received.insert(received.end(), buffer, buffer + n);
        if (n == 0) std::this_thread::yield();
    }
    writer.join();
    EXPECT_EQ(SQ_GetDataNum(q), 0u);
    size_t bad = 0;
    for (uint32_t i = 0; i < kTotal; ++i)
        bad += received[i] != i % 251;
    EXPECT_EQ(bad, 0u);
    SQ_Delete(q);
}

}  // namespace
