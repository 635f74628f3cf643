#include "rxmod/dmb_api.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fig_builder.h"
#include "m4systems/clock.h"
#include "rxmod/bb_err.h"
#include "rxmod/rxmod_api.h"
#include "rxmod_fixture.h"
#include "support/temp_dir.h"

namespace koru::test {
namespace {

// A PN3030 FIC packet: mask 0 and twelve 30-byte blocks (the FIBs without CRC, the rest empty).
Bytes FicPacket(const std::vector<Bytes>& fibs) {
    Bytes payload = {0x00, 0x00};
    for (size_t block = 0; block < 12; ++block) {
        Bytes data = block < fibs.size() ? fibs[block] : Fib({});
        payload.insert(payload.end(), data.begin(), data.begin() + 30);
    }
    return FakeStick::Packet(0, payload);
}

std::unique_ptr<ChannelInfo> NewChannel(double frequency) {
    auto info = std::make_unique<ChannelInfo>();
    FIC_Reset(*info, frequency);
    return info;
}

class ServiceKindTest : public ::testing::Test {
  protected:
    int KindOf(uint8_t tmid, uint8_t type, uint16_t application, const char* label) {
        info_ = NewChannel(208.736);
        info_->components[0] = Component(tmid, type);
        info_->services[0].in_use = kRecordInUse;
        info_->services[0].components[0] = ComponentReference(0);
        info_->services[0].user_application_type = application;
        std::strncpy(info_->services[0].label, label, 16);
        return DMB_ServiceKind(*info_, info_->services[0]);
    }
    uint16_t Application() const { return info_->services[0].user_application_type; }

    std::unique_ptr<ChannelInfo> info_;
};

TEST_F(ServiceKindTest, KindsFollowTheFirstComponentAndTheUserApplication) {
    EXPECT_EQ(KindOf(0, 0, 2, "Radio"), SERVICE_KIND_RADIO);
    EXPECT_EQ(KindOf(1, 24, 0xFFFF, "TV"), SERVICE_KIND_TV);
    EXPECT_EQ(KindOf(3, 60, 3, "Web"), SERVICE_KIND_DATA);
    EXPECT_EQ(KindOf(1, 5, 4, "Traffic"), SERVICE_KIND_TPEG);
    EXPECT_EQ(KindOf(3, 5, 0xFFFF, "Seoul TPEG"), SERVICE_KIND_TPEG);
    EXPECT_EQ(Application(), 4);
    EXPECT_EQ(KindOf(3, 5, 0xFFFF, "TTI info"), SERVICE_KIND_TPEG);
    EXPECT_EQ(KindOf(3, 5, 0xFFFF, "Slides"), SERVICE_KIND_DATA);
    EXPECT_EQ(Application(), 3);
    EXPECT_EQ(KindOf(3, 60, 7, "Journaline"), SERVICE_KIND_DATA);
    EXPECT_EQ(Application(), 3);
    EXPECT_EQ(KindOf(3, 5, 7, "Other"), SERVICE_KIND_OTHER);
    EXPECT_EQ(Application(), 7);
}

class ChannelCacheTest : public RxmodTest {};

TEST_F(ChannelCacheTest, StoringAFrequencyAgainReplacesItsRecord) {
    auto info = NewChannel(208.736);
    ASSERT_EQ(DMB_StoreChannel(*info), 0);
    std::strcpy(info->ensemble_label, "Second");
    ASSERT_EQ(DMB_StoreChannel(*info), 0);
    EXPECT_EQ(DMB_CachedChannelCount(), 1);
    auto out = NewChannel(0);
    ASSERT_EQ(DMB_LookupChannel(208.736, out.get()), 0);
    EXPECT_STREQ(out->ensemble_label, "Second");
    EXPECT_EQ(DMB_LookupChannel(205.28, out.get()), BB_ERR_NO_CHANNEL);

    for (int i = 1; i < kMaxCachedChannels; ++i) {
        info->frequency = 1000.0 + i;
        ASSERT_EQ(DMB_StoreChannel(*info), 0);
    }
    info->frequency = 205.28;
    EXPECT_EQ(DMB_StoreChannel(*info), BB_ERR_TABLE_FULL);
    info->frequency = 208.736;
    EXPECT_EQ(DMB_StoreChannel(*info), 0);
}

TEST_F(ChannelCacheTest, AFrequencyIsOneRecordWhateverItsConversionToMegahertz) {
    // The searches pass kHz x 0.001; other callers divide by 1000 or widen a stored float.
    const double multiplied = 208736 * 0.001;
    const double divided = 208736 / 1000.0;
    ASSERT_NE(multiplied, divided);
    ASSERT_EQ(DMB_StoreChannel(*NewChannel(multiplied)), 0);
    auto second = NewChannel(divided);
    std::strcpy(second->ensemble_label, "Second");
    ASSERT_EQ(DMB_StoreChannel(*second), 0);
    EXPECT_EQ(DMB_CachedChannelCount(), 1);
    auto out = NewChannel(0);
    ASSERT_EQ(DMB_LookupChannel(static_cast<double>(208.736f), out.get()), 0);
    EXPECT_STREQ(out->ensemble_label, "Second");
    EXPECT_EQ(DMB_LookupChannel(208.7364, out.get()), 0);
    EXPECT_EQ(DMB_LookupChannel(208.737, out.get()), BB_ERR_NO_CHANNEL);
    EXPECT_EQ(DMB_LookupChannel(208.735, out.get()), BB_ERR_NO_CHANNEL);
}

TEST_F(ChannelCacheTest, TheFileIsWrittenFieldByFieldLittleEndian) {
    auto info = NewChannel(208.736);
    std::strcpy(info->ensemble_label, "Holdout Ens A");
    info->services[0].in_use = kRecordInUse;
    info->services[0].sid = 0xE1C2A001;
    info->services[0].components[0] = ComponentReference(5);
    std::strcpy(info->services[0].label, "Alpha");
    info->components[5].in_use = kRecordInUse;
    info->components[5].packet_address = 0x2AB;
    info->subchannels[7].size = 0x0102;
    ASSERT_EQ(DMB_StoreChannel(*info), 0);
    ASSERT_EQ(DMB_StoreChannel(*NewChannel(205.28)), 0);
    ASSERT_EQ(DMB_SaveChannelCache("channel.dat"), 0);

    const std::string file = ReadFile(folder() / "channel.dat");
    ASSERT_EQ(file.size(), 4u + 2u * 11184u);
    auto byte = [&file](size_t at) { return static_cast<uint8_t>(file[4 + at]); };
    EXPECT_EQ(file.substr(0, 4), std::string("\x02\x00\x00\x00", 4));
    double frequency;
    std::memcpy(&frequency, file.data() + 4, 8);  // this machine is little-endian as well
    EXPECT_EQ(frequency, 208.736);
    EXPECT_EQ(file.substr(4 + 12, 14), std::string("Holdout Ens A\0", 14));
    EXPECT_EQ(byte(44 + 4), 0x01);  // SId, low byte first
    EXPECT_EQ(byte(44 + 7), 0xE1);
    EXPECT_EQ(byte(44 + 44), 6);  // component reference: index 5, one-based
    EXPECT_EQ(byte(9260 + 5 * 16 + 12), 0xAB);
    EXPECT_EQ(byte(9260 + 5 * 16 + 13), 0x02);
    EXPECT_EQ(byte(10284 + 7 * 14 + 10), 0x02);
    EXPECT_EQ(byte(10284 + 7 * 14 + 11), 0x01);

    DMB_ClearChannelCache();
    ASSERT_EQ(DMB_LoadChannelCache("channel.dat"), 0);
    ASSERT_EQ(DMB_CachedChannelCount(), 2);
    auto loaded = NewChannel(0);
    ASSERT_EQ(DMB_LookupChannel(208.736, loaded.get()), 0);
    EXPECT_EQ(std::memcmp(loaded.get(), info.get(), sizeof *info), 0);
}

TEST_F(ChannelCacheTest, AShortOrDamagedFileLoadsWhatIsWhole) {
    auto info = NewChannel(208.736);
    DMB_StoreChannel(*info);
    info->frequency = 205.28;
    info->services[0].components[0] = 0xDEADBEEF;  // a reference from nowhere
    info->services[0].component_count = 200;
    DMB_StoreChannel(*info);
    std::string image = DMB_ChannelCacheImage();
    std::memset(&image[4 + 11184 + 12], 'X', 17);  // ensemble label without its NUL
    image[4 + 11184 + 44 + 44] = 0x7F;             // reference 0x??????7F: out of range

    WriteFile(folder() / "channel.dat", image.substr(0, image.size() - 100));
    ASSERT_EQ(DMB_LoadChannelCache("channel.dat"), 0);
    EXPECT_EQ(DMB_CachedChannelCount(), 1);

    image[0] = '\xFF';  // more records announced than there are
    image[1] = '\xFF';
    WriteFile(folder() / "channel.dat", image);
    ASSERT_EQ(DMB_LoadChannelCache("channel.dat"), 0);
    ASSERT_EQ(DMB_CachedChannelCount(), 2);
    auto loaded = NewChannel(0);
    ASSERT_EQ(DMB_LookupChannel(205.28, loaded.get()), 0);
    EXPECT_EQ(std::strlen(loaded->ensemble_label), 16u);
    EXPECT_EQ(loaded->services[0].components[0], 0u);
    EXPECT_LE(loaded->services[0].component_count, 15);

    WriteFile(folder() / "channel.dat", "\x01\x00");
    EXPECT_EQ(DMB_LoadChannelCache("channel.dat"), BB_ERR_INVALID_PARAM);
    EXPECT_EQ(DMB_CachedChannelCount(), 2);  // nothing stored is lost
    EXPECT_EQ(DMB_LoadChannelCache("missing.dat"), BB_ERR_INVALID_PARAM);
    EXPECT_EQ(DMB_LoadChannelCache(""), BB_ERR_INVALID_PARAM);
    EXPECT_EQ(DMB_SaveChannelCache(""), BB_ERR_INVALID_PARAM);
}

class SearchTest : public RxmodTest {
  protected:
    // An ensemble with a radio, a TV and a TPEG data service without FIG 0/13.
    std::vector<Bytes> EnsembleFibs() {
        const Bytes tv = Join({Sid16(0x1002), {0x01, 0x40 | 24, 4 << 2 | 2}});
        const Bytes tpeg = Join({Sid32(0xE1C2A003), {0x01, 0xC0, 1 << 2 | 2}});
        return {Fib({Fig1(0, Sid16(0x4CA1), "Demo Ensemble")}),
                Fib({Fig0(2, Join({AudioService(0x1001, 3), tv}))}),
                Fib({Fig0(2, tpeg, true), Fig0(3, {0x00, 0x10, 5, 6 << 2, 0x10})}),
                Fib({Fig1(1, Sid16(0x1001), "Radio One")}),
                Fib({Fig1(1, Sid16(0x1002), "TV One")}),
                Fib({Fig1(5, Sid32(0xE1C2A003), "TPEG Traffic")})};
    }

    int Search(double frequency, int32_t time_limit_ms = 1000) {
        std::memset(entries, 0, sizeof entries);
        count = -1;
        return DMB_API_SearchChannel(frequency, entries, &count, time_limit_ms);
    }

    ServiceEntry entries[64];
    int32_t count = 0;
};

TEST_F(SearchTest, FindsTheServicesAndCachesTheEnsemble) {
    stick->packets_on_enable = {FakeStick::Packet(4, Bytes(8, 0)), FicPacket(EnsembleFibs())};
    ASSERT_EQ(Search(208.736), 0);
    ASSERT_EQ(count, 3);
    EXPECT_STREQ(entries[0].label, "Radio One       ");
    EXPECT_EQ(entries[0].kind, SERVICE_KIND_RADIO);
    EXPECT_EQ(entries[0].service_index, 0);
    EXPECT_EQ(entries[0].frequency, 208.736);
    EXPECT_STREQ(entries[1].label, "TV One          ");
    EXPECT_EQ(entries[1].kind, SERVICE_KIND_TV);
    EXPECT_EQ(entries[2].kind, SERVICE_KIND_TPEG);
    EXPECT_EQ(entries[2].service_index, 2);
    EXPECT_TRUE(Logged("Unknown packet: id=4, len=8"));
    EXPECT_FALSE(BB_Ifce_IsOpen());
    for (int i = 0; i < kServiceSlots; ++i)
        EXPECT_EQ(BB_GetSlot(i).flags, 0) << i;

    const auto size = std::filesystem::file_size(folder() / "channel.dat");
    EXPECT_EQ(size, 4u + 11184u);
    ASSERT_EQ(Search(208.736), 0);  // the same frequency again replaces its record
    EXPECT_EQ(std::filesystem::file_size(folder() / "channel.dat"), size);

    // The cached ensemble opens its services, the kind written back with it.
    int slot = -1;
    ASSERT_EQ(BB_API_Init(), 0);
    ASSERT_EQ(BB_API_OpenService(&slot, 208.736, 2), 0);
    EXPECT_EQ(BB_GetSlot(slot).service->user_application_type, 4);
    BB_API_CloseService(slot);
}

TEST_F(SearchTest, AnEnsembleWithoutLabelledServicesFindsNothing) {
    std::vector<Bytes> fibs = EnsembleFibs();
    fibs.resize(3);  // the service labels never come
    stick->packets_on_enable = {FicPacket(fibs)};
    const uint32_t start = M4_GetSysClock();
    EXPECT_EQ(Search(208.736, 400), BB_ERR_NO_SERVICE_FOUND);
    EXPECT_GE(M4_GetSysClock() - start, 400u);
    EXPECT_EQ(count, 0);
    EXPECT_FALSE(std::filesystem::exists(folder() / "channel.dat"));
}

TEST_F(SearchTest, AMissingPacketAddressKeepsTheSearchRunningUntilTheLimit) {
    std::vector<Bytes> fibs = EnsembleFibs();
    fibs[2] = Fib({Fig0(2, Join({Sid32(0xE1C2A003), {0x01, 0xC0, 1 << 2 | 2}}), true)});
    stick->packets_on_enable = {FicPacket(fibs)};
    const uint32_t start = M4_GetSysClock();
    ASSERT_EQ(Search(208.736, 500), 0);
    EXPECT_GE(M4_GetSysClock() - start, 500u);
    EXPECT_EQ(count, 3);  // what was decoded is returned
}

TEST_F(SearchTest, NoEnsembleNoLock) {
    stick->locked = [] { return false; };
    EXPECT_EQ(Search(207.008), BB_ERR_NOT_LOCKED);
    EXPECT_EQ(count, 0);
}

TEST_F(SearchTest, APulledStickEndsTheSearchWithNoDevice) {
    stick->packets_on_enable = {FicPacket({Fib({Fig1(0, Sid16(1), "Ens")})})};
    int checks = 0;
    stick->on_check = [this, &checks] {
        if (++checks == 5) stick->present = false;
    };
    EXPECT_EQ(Search(208.736), BB_ERR_NO_DEVICE);
    EXPECT_FALSE(BB_Ifce_IsOpen());
    for (int i = 0; i < kServiceSlots; ++i)
        EXPECT_EQ(BB_GetSlot(i).flags, 0) << i;

    stick->on_check = nullptr;
    logs.clear();
    EXPECT_EQ(Search(208.736), BB_ERR_NO_DEVICE);
    EXPECT_TRUE(Logged("NO Device"));
}

}  // namespace
}  // namespace koru::test
