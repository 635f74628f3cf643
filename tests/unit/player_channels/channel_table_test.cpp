// The channel search's working table: which found services are stored (repeats, TPEG, empty
// labels, the 100-entry bound), the progress per frequency, and the split into the stored lists.
#include "player/channels/channel_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace koru::player {
namespace {

ServiceEntry Service(const char* label, double mhz, int index, int kind) {
    ServiceEntry entry{};
    std::memcpy(entry.label, label, std::min(std::strlen(label), sizeof(entry.label)));
    entry.frequency = mhz;
    entry.service_index = index;
    entry.kind = kind;
    return entry;
}

std::vector<std::string> Labels(const ChannelTable& table) {
    std::vector<std::string> labels;
    for (int i = 0; i < table.count(); ++i)
        labels.emplace_back(settings::FixedText(table.entry(i).label));
    return labels;
}

std::vector<std::string> Labels(const settings::ChannelList& list) {
    std::vector<std::string> labels;
    for (int i = 0; i < list.count; ++i)
        labels.emplace_back(settings::FixedText(list.entries[static_cast<size_t>(i)].label));
    return labels;
}

TEST(SearchProgressTest, RegionTwoFillsTheBarAtTheFifthFrequencyAndStaysFull) {
    std::vector<int> positions;
    for (int i = 0; i < 6; ++i)
        positions.push_back(SearchProgress(i, 6));
    EXPECT_EQ(positions, (std::vector<int>{2, 4, 6, 8, 10, 10}));
    // Two frequencies (region 5): 2, then 2n + 1.
    EXPECT_EQ(SearchProgress(0, 2), 2);
    EXPECT_EQ(SearchProgress(1, 2), 5);
    // Long regions never pass the bar's maximum.
    EXPECT_EQ(SearchProgress(40, 41), kSearchProgressMaximum);
}

TEST(ChannelTableTest, AManualSearchReplacesTheTableWithItsTvAndRadioServices) {
    ChannelTable table;
    table.BeginSearch();
    const ServiceEntry before[] = {Service("Old 1", 175.28, 0, SERVICE_KIND_TV),
                                   Service("Old 2", 175.28, 1, SERVICE_KIND_TV)};
    table.Store(before, 2);
    table.BeginManualSearch();
    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(settings::FixedText(table.entry(1).label), "");
    // Data is dropped; the previous entry starts as frequency 0, service index 0.
    const ServiceEntry found[] = {Service("Zero", 0.0, 0, SERVICE_KIND_TV),
                                  Service("Web", 207.008, 3, SERVICE_KIND_DATA),
                                  Service("TV", 207.008, 0, SERVICE_KIND_TV),
                                  Service("Radio", 207.008, 1, SERVICE_KIND_RADIO)};
    EXPECT_EQ(table.Store(found, 4, false).size(), 2u);
    EXPECT_EQ(Labels(table), (std::vector<std::string>{"TV", "Radio"}));
}

TEST(ChannelTableTest, RepeatRules) {
    ChannelTable table;
    table.BeginSearch();
    // The same service twice in a row: stored once.
    const ServiceEntry twice[] = {Service("TV A", 208.736, 0, SERVICE_KIND_TV),
                                  Service("TV A", 208.736, 0, SERVICE_KIND_TV)};
    EXPECT_EQ(table.Store(twice, 2).size(), 1u);
    // Separated by another service: stored again.
    const ServiceEntry separated[] = {Service("Radio", 208.736, 2, SERVICE_KIND_RADIO),
                                      Service("TV A", 208.736, 0, SERVICE_KIND_TV)};
    EXPECT_EQ(table.Store(separated, 2).size(), 2u);
    // A TPEG entry in between counts as the previous entry: the second copy is stored.
    const ServiceEntry tpeg[] = {Service("TV A", 208.736, 0, SERVICE_KIND_TV),
                                 Service("TPEG", 208.736, 4, SERVICE_KIND_TPEG),
                                 Service("TV A", 208.736, 0, SERVICE_KIND_TV)};
    // The first TV A repeats the last entry of the previous frequency call.
    EXPECT_EQ(table.Store(tpeg, 3).size(), 1u);
    // An empty label is skipped and leaves the previous entry as it was.
    const ServiceEntry empty[] = {Service("", 208.736, 9, SERVICE_KIND_TV),
                                  Service("TV A", 208.736, 0, SERVICE_KIND_TV)};
    EXPECT_TRUE(table.Store(empty, 2).empty());
    EXPECT_EQ(Labels(table), (std::vector<std::string>{"TV A", "Radio", "TV A", "TV A"}));
    // Same index on another frequency is another service.
    const ServiceEntry other[] = {Service("TV B", 205.28, 0, SERVICE_KIND_TV)};
    EXPECT_EQ(table.Store(other, 1).size(), 1u);
    EXPECT_EQ(table.entry(4).freq, 205.28f);
    EXPECT_EQ(table.entry(4).subch_id, 0);
    EXPECT_EQ(table.entry(4).kind, SERVICE_KIND_TV);
}

TEST(ChannelTableTest, OtherKindsAreNeitherListedNorStored) {
    ChannelTable table;
    table.BeginSearch();
    const ServiceEntry entries[] = {Service("TPEG", 208.736, 4, SERVICE_KIND_TPEG),
                                    Service("Other", 208.736, 5, SERVICE_KIND_OTHER),
                                    Service("Web", 208.736, 3, SERVICE_KIND_DATA)};
    const std::vector<ListedService> listed = table.Store(entries, 3);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].kind, SERVICE_KIND_DATA);
    EXPECT_EQ(listed[0].label, "Web");
}

TEST(ChannelTableTest, LabelsThatFillTheirFieldAndBadCounts) {
    ChannelTable table;
    table.BeginSearch();
    ServiceEntry full = Service("", 208.736, 0, SERVICE_KIND_TV);
    std::memset(full.label, 'X', sizeof(full.label));  // no terminator at all
    full.unused[0] = 'Y';
    EXPECT_EQ(table.Store(&full, 1).at(0).label, std::string(sizeof(full.label), 'X'));
    EXPECT_TRUE(table.Store(&full, -3).empty());
    EXPECT_TRUE(table.Store(nullptr, 5).empty());
}

TEST(ChannelTableTest, KeepsTheFirstHundredAndCountsTheRest) {
    ChannelTable table;
    table.BeginSearch();
    std::vector<ServiceEntry> entries;
    for (int i = 0; i < 130; ++i)
        entries.push_back(Service(("S" + std::to_string(i)).c_str(), 200.0 + i, 0, i % 2));
    for (size_t at = 0; at < entries.size(); at += DMB_MAX_SERVICES) {
        const int count = static_cast<int>(std::min<size_t>(DMB_MAX_SERVICES, entries.size() - at));
        table.Store(entries.data() + at, count);
    }
    EXPECT_EQ(table.count(), ChannelTable::kCapacity);
    EXPECT_EQ(table.dropped(), 30);
    EXPECT_EQ(Labels(table).back(), "S99");
    // A new search starts empty again.
    table.BeginSearch();
    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(table.dropped(), 0);
}

TEST(RebuildChannelListsTest, SplitsInDiscoveryOrderAndReplacesTheCounts) {
    ChannelTable table;
    table.BeginSearch();
    const ServiceEntry entries[] = {Service("TV 1", 208.736, 0, SERVICE_KIND_TV),
                                    Service("Data 1", 208.736, 3, SERVICE_KIND_DATA),
                                    Service("Radio 1", 208.736, 2, SERVICE_KIND_RADIO),
                                    Service("TV 2", 208.736, 1, SERVICE_KIND_TV),
                                    Service("Radio 2", 205.28, 1, SERVICE_KIND_RADIO),
                                    Service("Data 2", 205.28, 2, SERVICE_KIND_DATA),
                                    Service("TV 3", 205.28, 0, SERVICE_KIND_TV)};
    table.Store(entries, 7);
    settings::ChannelStore store;
    store.tv.Append(settings::ChannelEntry{});
    RebuildChannelLists(store, table, 0, table.count());
    EXPECT_EQ(Labels(store.tv), (std::vector<std::string>{"TV 1", "TV 2", "TV 3"}));
    EXPECT_EQ(Labels(store.radio), (std::vector<std::string>{"Radio 1", "Radio 2"}));
    EXPECT_EQ(Labels(store.data), (std::vector<std::string>{"Data 1", "Data 2"}));

    // A flag leaves the lists alone; count 0 empties all three.
    RebuildChannelLists(store, table, 1, 0);
    EXPECT_EQ(store.tv.count, 3);
    RebuildChannelLists(store, table, 0, 0);
    EXPECT_EQ(store.tv.count, 0);
    EXPECT_EQ(store.radio.count, 0);
    EXPECT_EQ(store.data.count, 0);
}

TEST(ChannelTableHelpersTest, TrimAndReservations) {
    settings::ChannelEntry entry;
    settings::SetFixedText(entry.label, "KORU TV 1       ");
    EXPECT_EQ(TrimLabelInPlace(entry), "KORU TV 1");
    EXPECT_EQ(settings::FixedText(entry.label), "KORU TV 1");

    settings::ChannelStore store;
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 8;
    when.tm_hour = 12;
    when.tm_min = 30;
    when.tm_isdst = -1;
    const std::time_t now = std::mktime(&when);
    store.reservation_count = 2;
    settings::SetFixedText(store.reservations[0].start, "20261208-12:00");
    settings::SetFixedText(store.reservations[1].start, "20261208-12:30");
    EXPECT_FALSE(HasFutureReservation(store, now));
    settings::SetFixedText(store.reservations[1].start, "20261208-12:31");
    EXPECT_TRUE(HasFutureReservation(store, now));
    ClearReservations(store);
    EXPECT_EQ(store.reservation_count, 0);
    EXPECT_FALSE(HasFutureReservation(store, now));
}

}  // namespace
}  // namespace koru::player
