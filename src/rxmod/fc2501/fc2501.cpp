// FC2501 tuner driver, both forms.
#include "rxmod/fc2501/fc2501.h"

#include <cstring>

#include "m4systems/log.h"
#include "rxmod/bb_err.h"
#include "rxmod/bb_if.h"
#include "rxmod/bb_tuner.h"
#include "rxmod/receiver.h"

namespace {

constexpr const char* kSource = "fc2501";
constexpr uint8_t kIdRegister = 0x01;
constexpr uint8_t kChipId = 0x60;
constexpr double kFractionScale = 1048576.0;  // 2^20
constexpr double kLBandFrom = 245.0;          // MHz

int ReadReg(uint8_t reg, uint8_t* value) {
    return BB_TunerBus().ByteRead(reg, value);
}

int CheckId() {
    uint8_t id = 0;
    if (int result = ReadReg(kIdRegister, &id); result != BB_SUCCESS) return result;
    return id == kChipId ? BB_SUCCESS : BB_ERR_TUNER_ID;
}

// The synthesiser: N, and the 20-bit fraction F with an extra flag in 0x41.
int WriteSynthesiser(double ratio, uint8_t flag_41, bool fraction_low_first) {
    const auto n = static_cast<int>(ratio);
    const auto f = static_cast<int>((ratio - n) * kFractionScale);
    const TunerRegValue r41{0x41, static_cast<uint8_t>(((f >> 16) & 0x0F) | flag_41)};
    const TunerRegValue r42{0x42, static_cast<uint8_t>((f >> 8) & 0xFF)};
    const TunerRegValue r43{0x43, static_cast<uint8_t>(f & 0xFF)};
    const TunerRegValue r44{0x44, static_cast<uint8_t>(n & 0xFF)};
    return fraction_low_first ? BB_TunerWriteSequence({r43, r42, r41, r44})
                              : BB_TunerWriteSequence({r41, r42, r43, r44});
}

// The synthesiser takes its new values on the rising edge of bit 7 of 0x37.
int StartSynthesiser() {
    return BB_TunerWriteSequence({{0x37, 0x61}, {0x37, 0xE1}});
}

// --- PN3030 form -----------------------------------------------------------------------------

struct Block {
    uint8_t start;
    uint8_t count;
    uint8_t band_iii[15];
    uint8_t l_band[15];
};

constexpr Block kImage[] = {
    {0x01,
     13,
     {0x60, 0x62, 0x77, 0x56, 0x00, 0x40, 0x4E, 0x14, 0x04, 0x24, 0x25, 0xA5, 0xED},
     {0x60, 0xA2, 0x77, 0x56, 0x00, 0x40, 0x4E, 0x54, 0x04, 0x3C, 0x25, 0xA5, 0x2D}},
    {0x10,
     13,
     {0x3E, 0x3B, 0x39, 0x00, 0x00, 0x00, 0x99, 0x91, 0x02, 0x11, 0x3F, 0x3F, 0x3F},
     {0x3E, 0x3B, 0x39, 0x00, 0x00, 0x00, 0x99, 0x91, 0x02, 0x11, 0x3F, 0x3F, 0x3F}},
    {0x20,
     7,
     {0x56, 0x80, 0x80, 0x00, 0x0E, 0x6F, 0x03},
     {0x56, 0x80, 0x80, 0x00, 0x0E, 0x6F, 0x03}},
    {0x30,
     12,
     {0x00, 0x40, 0x01, 0x69, 0x55, 0x49, 0xE1, 0x61, 0xF0, 0x00, 0x00, 0x1A},
     {0x00, 0x40, 0x01, 0x69, 0x75, 0x49, 0xE1, 0x61, 0xF0, 0x00, 0x00, 0x1A}},
    {0x40,
     10,
     {0x01, 0x02, 0x80, 0x00, 0xC8, 0xFF, 0xD8, 0x78, 0x01, 0x40},
     {0x01, 0x05, 0xCC, 0x00, 0xB1, 0xFF, 0xD8, 0x78, 0x01, 0x40}},
    {0x51,
     15,
     {0x40, 0x00, 0xE9, 0x32, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x50, 0x4D, 0x3B, 0x1F},
     {0x40, 0x00, 0x29, 0x32, 0x32, 0x32, 0x14, 0x14, 0xFF, 0xFF, 0xFF, 0x50, 0x4D, 0x3B, 0x1F}},
    {0x60,
     15,
     {0x0F, 0x05, 0x00, 0x0E, 0x06, 0x00, 0x32, 0x32, 0xFF, 0x3F, 0x00, 0x00, 0x00, 0xFF, 0x09},
     {0x0F, 0x05, 0x00, 0x0E, 0x06, 0x00, 0x32, 0x32, 0xFF, 0x3F, 0x00, 0x00, 0x00, 0xFF, 0x09}},
};

constexpr double kPn3030IntermediateFrequency = 2.048;  // MHz
constexpr double kHighSideBelow = 180.0;                // MHz: the LO runs above RF below this

int TunePn3030Form(double rf) {
    if (int result = CheckId(); result != BB_SUCCESS) return result;
    const bool l_band = rf >= kLBandFrom;
    for (const Block& block : kImage) {
        const uint8_t* values = l_band ? block.l_band : block.band_iii;
        if (int result = BB_TunerBus().WriteAndWait(block.start, values, block.count);
            result != BB_SUCCESS) {
            return result;
        }
    }
    const bool high_side = rf < kHighSideBelow;
    const double lo =
        high_side ? rf + kPn3030IntermediateFrequency : rf - kPn3030IntermediateFrequency;
    const double ratio = (l_band ? 2.0 : 16.0) * lo / BB_Receiver().fc2501.clock;
    const uint8_t flag = high_side && !l_band ? 0x80 : 0x00;
    if (int result = WriteSynthesiser(ratio, flag, false); result != BB_SUCCESS) return result;
    BB_Pause(1);
    const int result = l_band ? BB_TunerWriteSequence({{0x02, 0xA2}, {0x02, 0xA6}})
                              : BB_TunerWriteSequence({{0x02, 0x62}, {0x02, 0x66}});
    return result == BB_SUCCESS ? StartSynthesiser() : result;
}

int CarModePn3030Form(int /*command*/) {
    return BB_SUCCESS;  // nothing to do: this tuner has no car mode
}

// --- CTX2050 form ----------------------------------------------------------------------------

constexpr TunerRegValue kListBandIII[] = {
    {0x00, 0x00}, {0x06, 0x40}, {0x07, 0x46}, {0x0B, 0x25}, {0x0C, 0xA5}, {0x0D, 0xED},
    {0x20, 0x56}, {0x21, 0x80}, {0x22, 0x80}, {0x23, 0x00}, {0x35, 0x4A}, {0x36, 0xE1},
    {0x38, 0xF0}, {0x45, 0xFF}, {0x47, 0x78}, {0x53, 0xE9}, {0x60, 0x0A}, {0x61, 0x05},
    {0x62, 0x00}, {0x63, 0x0E}, {0x64, 0x06}, {0x5C, 0x4D}, {0x5D, 0x2D}, {0x5E, 0x3B},
    {0x68, 0xCC}, {0x69, 0x3F}, {0x6E, 0x08}, {0x55, 0xFF}, {0x56, 0xFF}, {0x57, 0xFF},
    {0x58, 0xFF}, {0x59, 0xFF}, {0x5A, 0xFF}, {0x16, 0x99}, {0x5B, 0xFF}, {0x6D, 0xFF},
    {0x02, 0x6E},
};

constexpr TunerRegValue kListLBand[] = {
    {0x00, 0x00}, {0x06, 0x40}, {0x07, 0x46}, {0x08, 0x54}, {0x0A, 0x3C}, {0x34, 0x75},
    {0x0B, 0x25}, {0x0C, 0xA5}, {0x0D, 0x2D}, {0x16, 0x99}, {0x20, 0x56}, {0x21, 0x80},
    {0x22, 0x80}, {0x23, 0x00}, {0x35, 0x4A}, {0x36, 0xE1}, {0x38, 0xF0}, {0x45, 0xFF},
    {0x47, 0x78}, {0x53, 0x29}, {0x60, 0x0F}, {0x61, 0x05}, {0x62, 0x00}, {0x63, 0x0E},
    {0x64, 0x06}, {0x5C, 0x50}, {0x5D, 0x4D}, {0x5E, 0x3B}, {0x68, 0xFF}, {0x69, 0x3F},
    {0x6E, 0x08}, {0x55, 0x32}, {0x56, 0x32}, {0x57, 0x14}, {0x58, 0x14}, {0x59, 0xFF},
    {0x5A, 0xFF}, {0x5B, 0xFF}, {0x6D, 0xFF}, {0x02, 0xAE},
};

constexpr int kCtx2050ReferenceKhz = 24576;
constexpr int kCtx2050IntermediateKhz = 2048;

int TuneCtx2050Form(double rf) {
    const int khz = BB_FrequencyKhz(rf);
    M4_LOG(2, kSource, "FCI TUNER SET %.3fMhz(%d)", rf, khz);
    if (int result = CheckId(); result != BB_SUCCESS) return result;
    const bool l_band = rf >= kLBandFrom;
    const int multiplier = l_band ? 2 : 16;
    if (int result = BB_TunerWriteSequence(l_band ? std::span<const TunerRegValue>(kListLBand)
                                                  : std::span<const TunerRegValue>(kListBandIII));
        result != BB_SUCCESS) {
        return result;
    }
    const double ratio =
        static_cast<double>(khz - kCtx2050IntermediateKhz) * multiplier / kCtx2050ReferenceKhz;
    if (int result = WriteSynthesiser(ratio, 0x00, true); result != BB_SUCCESS) return result;
    return StartSynthesiser();
}

int CarModeCtx2050Form(int /*command*/) {
    return BB_ERR_NOT_SUPPORTED;
}

int Configure(double clock_mhz, uint8_t /*tuner_address*/) {
    BB_Receiver().fc2501.clock = clock_mhz;
    return BB_SUCCESS;
}

}  // namespace

void FC2501_Install(TunerDriver* driver, const char* baseband) {
    if (std::strcmp(baseband, "CTX2050") == 0) {
        *driver = {Configure, TuneCtx2050Form, CarModeCtx2050Form};
    } else {
        *driver = {Configure, TunePn3030Form, CarModePn3030Form};
    }
}
