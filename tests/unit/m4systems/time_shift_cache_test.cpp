#include "m4systems/tsfeed/time_shift_cache.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace koru::tsfeed {
namespace {

using koru::test::TempDir;

std::string Bytes(size_t n, size_t seed) {
    std::string s(n, 0);
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 31 + seed) & 0xFF);
    return s;
}

bool Write(TimeShiftCache& cache, const std::string& bytes) {
    return cache.Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string ReadAll(TimeShiftCache& cache, size_t piece) {
    std::string out;
    std::string buffer(piece, 0);
    long got;
    while ((got = cache.Read(reinterpret_cast<uint8_t*>(buffer.data()), piece)) > 0) {
        out.append(buffer.data(), static_cast<size_t>(got));
    }
    return out;
}

TEST(TimeShiftCache, GivesBackWhatWasWrittenAcrossBlocksAndReusesPassedOnes) {
    TempDir dir;
    uint32_t now = 0;
    auto cache =
        TimeShiftCache::Create((dir / "cache.ts").string(), 60000, [&] { return now; }, 1000);
    ASSERT_NE(cache, nullptr);
    std::string written;
    for (int i = 0; i < 12; ++i) {
        const std::string part = Bytes(300, static_cast<size_t>(i));
        ASSERT_TRUE(Write(*cache, part));
        written += part;
    }
    EXPECT_EQ(cache->Unread(), 3600u);
    EXPECT_EQ(ReadAll(*cache, 700), written);
    EXPECT_EQ(cache->Unread(), 0u);

    // A reader that keeps up lets the writer go round in a few blocks.
    for (int i = 0; i < 100; ++i) {
        const std::string part = Bytes(450, static_cast<size_t>(i));
        ASSERT_TRUE(Write(*cache, part));
        ASSERT_EQ(ReadAll(*cache, 4096), part);
    }
    EXPECT_LE(cache->FileBytes(), 6000u);
    EXPECT_EQ(cache->Skipped(), 0u);
}

TEST(TimeShiftCache, WhatFallsOutOfTheLengthIsSkipped) {
    TempDir dir;
    uint32_t now = 0;
    auto cache =
        TimeShiftCache::Create((dir / "cache.ts").string(), 1000, [&] { return now; }, 1000);
    ASSERT_NE(cache, nullptr);
    ASSERT_TRUE(Write(*cache, Bytes(1000, 1)));  // block 0, at 0 ms
    now = 500;
    const std::string kept = Bytes(1000, 2);
    ASSERT_TRUE(Write(*cache, kept));  // block 1, at 500 ms
    now = 1200;
    const std::string newest = Bytes(10, 3);
    ASSERT_TRUE(Write(*cache, newest));  // block 0 is 1200 ms old: its slot is reused
    EXPECT_EQ(cache->Skipped(), 1000u);
    EXPECT_EQ(cache->FileBytes(), 2000u);
    EXPECT_EQ(ReadAll(*cache, 333), kept + newest);
}

TEST(TimeShiftCache, FilesThatCannotBeUsedAreRefused) {
    EXPECT_EQ(TimeShiftCache::Create("/no/such/folder/cache.ts", 1000, [] { return 0u; }), nullptr);
    auto full = TimeShiftCache::Create("/dev/full", 1000, [] { return 0u; });
    ASSERT_NE(full, nullptr);
    EXPECT_FALSE(Write(*full, Bytes(100, 0)));
}

TEST(TimeShiftCache, TheFileGoesWithTheCache) {
    TempDir dir;
    const std::filesystem::path path = dir / "file_cache.ts";
    {
        auto cache = TimeShiftCache::Create(path.string(), 1000, [] { return 0u; });
        ASSERT_NE(cache, nullptr);
        EXPECT_TRUE(std::filesystem::exists(path));
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

}  // namespace
}  // namespace koru::tsfeed
