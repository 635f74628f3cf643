// ITD3020 / ITD3010 tuner driver.
#include "rxmod/itd3020/itd3020.h"

#include <cmath>
#include <cstring>

#include "m4systems/log.h"
#include "rxmod/bb_err.h"
#include "rxmod/bb_if.h"
#include "rxmod/receiver.h"

namespace {

constexpr const char* kSource = "itd3020";
constexpr double kIntermediateFrequency = 0.85;  // the LO runs at RF + 0.85 MHz
constexpr double kFractionScale = 1048576.0;     // 2^20
constexpr int kMaxVcoSteps = 15;
constexpr int kCarModeOn = 1000;
constexpr int kCarModeOff = 1001;

constexpr int kImageSize = kItdImageSize;
constexpr int kPresetStart = 0x73;
constexpr uint8_t kCarModeRegister = 0xA0;

enum Band { kBandIII = 0, kLBand = 1 };

// Registers 0x73 to 0xA5 of each band; the rest up to the image's end is 0x1F.
constexpr uint8_t kBandIIIPreset[] = {
    0x80, 0x9A, 0x8D, 0xB3, 0x11, 0x03, 0x00, 0x20, 0x40, 0x20, 0x06, 0x04, 0xB0,
    0x00, 0x33, 0x90, 0x09, 0x32, 0x88, 0xFD, 0xF1, 0x2B, 0xFF, 0xB2, 0x94, 0xCE,
    0x55, 0x2A, 0x7E, 0x81, 0x7E, 0x81, 0x01, 0xC6, 0x40, 0x46, 0x7E, 0x13, 0x05,
    0x00, 0x02, 0x00, 0x00, 0x20, 0x83, 0x03, 0xB0, 0x00, 0x08, 0x00, 0x1F};
constexpr uint8_t kLBandPreset[] = {
    0xF0, 0x4A, 0x42, 0xC3, 0x11, 0x8B, 0x92, 0xCB, 0xC6, 0xFF, 0xCC, 0x04, 0xAD,
    0x00, 0x31, 0x70, 0x1D, 0x59, 0x34, 0xBB, 0xC4, 0x2F, 0xFF, 0xBA, 0x94, 0xCE,
    0x88, 0x24, 0x3F, 0x81, 0x7F, 0x81, 0x01, 0xC6, 0x3A, 0x46, 0x7E, 0x13, 0x00,
    0x00, 0x00, 0x04, 0x00, 0x20, 0x83, 0x03, 0xB2, 0x00, 0x08, 0x84, 0x12};
static_assert(sizeof kBandIIIPreset == 51 && sizeof kLBandPreset == 51);

// VCO sub-bands: LO in (low, high] MHz, VCO select A, band code B, divider index D.
struct VcoRow {
    double low;
    double high;
    uint8_t a;
    uint8_t b;
    uint8_t d;
};
constexpr VcoRow kVcoTable[] = {
    {170.0, 171.6, 2, 3, 1},    {171.6, 174.8, 2, 4, 1},    {174.8, 176.35, 2, 5, 1},
    {176.35, 179.85, 2, 6, 1},  {179.85, 183.35, 2, 7, 1},  {183.35, 188.85, 2, 8, 1},
    {188.85, 191.85, 2, 9, 1},  {191.85, 195.85, 2, 10, 1}, {195.85, 200.85, 2, 11, 1},
    {200.85, 205.85, 2, 12, 1}, {205.85, 211.85, 2, 13, 1}, {211.85, 216.85, 2, 14, 1},
    {216.85, 221.85, 2, 15, 1}, {221.85, 226.85, 0, 6, 2},  {226.85, 231.85, 0, 7, 2},
    {231.85, 236.85, 0, 8, 2},  {236.85, 240.85, 0, 9, 2},  {240.85, 250.85, 0, 10, 2},
    {250.85, 254.0, 0, 11, 2},  {1445.0, 1460.0, 1, 1, 3},  {1460.0, 1495.0, 1, 2, 3},
};
constexpr int kBandIIIFirstRow = 0;
constexpr int kBandIIILastRow = 18;
constexpr int kLBandFirstRow = 19;
constexpr int kLBandLastRow = 20;

constexpr int kDividerByD[] = {8, 4, 2, 1};
constexpr uint8_t kChargePumpByD[] = {0, 1, 2, 6};

// Where the band's readback registers 0x9E, 0x9F stand once its image is written.
constexpr uint8_t kBandMark[2][2] = {{0xE0, 0x80}, {0x00, 0x90}};

ItdState& Settings() {
    return BB_Receiver().itd;
}

bool IsClock16(double clock) {
    return std::fabs(clock - 16.384) < 1e-9;
}

Band BandOf(double rf) {
    return rf >= 1445.0 && rf <= 1495.0 ? kLBand : kBandIII;
}

int ReadReg(uint8_t reg, uint8_t* value) {
    return BB_TunerBus().ByteRead(reg, value);
}

int WriteReg(uint8_t reg, uint8_t value) {
    if (reg < kImageSize) Settings().image[reg] = value;
    return BB_TunerBus().ByteWrite(reg, value);
}

void LoadBandImage(Band band) {
    ItdState& settings = Settings();
    uint8_t* image = settings.image;
    std::memset(image, 0, kImageSize);
    const uint8_t* preset = band == kBandIII ? kBandIIIPreset : kLBandPreset;
    for (int reg = kPresetStart; reg < kImageSize; ++reg) {
        const int i = reg - kPresetStart;
        image[reg] = i < 51 ? preset[i] : 0x1F;
    }
    if (const uint8_t car_mode = settings.car_mode[band].load(); car_mode != 0) {
        image[kCarModeRegister] = car_mode;
    }
    if (IsClock16(settings.clock)) {
        image[0x7E] = 0x05;
        image[0x9E] = kBandMark[band][0];
        image[0x9F] = kBandMark[band][1];
        if (band == kBandIII && BB_HwInfo().hardware_id == 15) image[0x94] = 0x62;
    }
}

// Writes the band image unless the tuner already holds it (told by 0x9E, 0x9F).
int SetUpBand(Band band) {
    LoadBandImage(band);
    uint8_t mark[2] = {0, 0};
    if (int result = ReadReg(0x9E, &mark[0]); result != BB_SUCCESS) return result;
    if (int result = ReadReg(0x9F, &mark[1]); result != BB_SUCCESS) return result;
    if (mark[0] == kBandMark[band][0] && mark[1] == kBandMark[band][1]) return BB_SUCCESS;
    struct Piece {
        uint8_t start;
        int count;
    };
    constexpr Piece kPieces[] = {{0x73, 15}, {0x82, 15}, {0x91, 15}, {0xA0, 15}, {0xAF, 8}};
    for (const Piece& piece : kPieces) {
        int result =
            BB_TunerBus().WriteAndWait(piece.start, Settings().image + piece.start, piece.count);
        if (result != BB_SUCCESS) return result;
    }
    return BB_SUCCESS;
}

int RowFor(double lo, Band band) {
    const int first = band == kBandIII ? kBandIIIFirstRow : kLBandFirstRow;
    const int last = band == kBandIII ? kBandIIILastRow : kLBandLastRow;
    for (int row = first; row <= last; ++row) {
        if (lo > kVcoTable[row].low && lo <= kVcoTable[row].high) return row;
    }
    return -1;
}

void Divide(double lo, int row, double clock, int* n, int* f) {
    const double r = lo * kDividerByD[kVcoTable[row].d] / clock;
    *n = static_cast<int>(r);
    *f = static_cast<int>((r - *n) * kFractionScale);
}

int WriteSubBand(int row) {
    const VcoRow& vco = kVcoTable[row];
    if (int result = WriteReg(0x75, static_cast<uint8_t>(vco.b | 0x80)); result != BB_SUCCESS) {
        return result;
    }
    return WriteReg(0x82, static_cast<uint8_t>(((vco.a * 4) | vco.d) * 16));
}

// N and F of the synthesiser for row, then the settling pause.
int WriteDivider(double lo, int row, Band band) {
    int n = 0;
    int f = 0;
    const double clock = Settings().clock;
    Divide(lo, row, clock, &n, &f);
    M4_LOG(2, kSource, "GEN FREQ=%.6f PLL_N=%d PLL_F=%d", (n + f / kFractionScale) * clock, n, f);
    const uint8_t pump = kChargePumpByD[kVcoTable[row].d];
    const int n_high = (n >> 8) & 3;
    const uint8_t reg85 = band == kBandIII ? static_cast<uint8_t>(((pump | 0xF0) * 8) | n_high)
                                           : static_cast<uint8_t>((pump * 8) | n_high | 4);
    const uint8_t writes[][2] = {{0x84, static_cast<uint8_t>(n & 0xFF)},
                                 {0x85, reg85},
                                 {0x86, static_cast<uint8_t>(f & 0xFF)},
                                 {0x87, static_cast<uint8_t>((f >> 8) & 0xFF)},
                                 {0x88, static_cast<uint8_t>(((f >> 16) & 0x0F) | 0x20)}};
    for (const auto& write : writes) {
        if (int result = WriteReg(write[0], write[1]); result != BB_SUCCESS) return result;
    }
    BB_Pause(50);
    return BB_SUCCESS;
}

// Steps through the sub-bands until the VCO level reading is in range; at most 15 steps.
// Sets *in_band to false when the search left the band's rows (the tune then ends).
int SearchVco(double lo, int row, Band band, bool* in_band) {
    *in_band = true;
    const int first = band == kBandIII ? kBandIIIFirstRow : kLBandFirstRow;
    const int last = band == kBandIII ? kBandIIILastRow : kLBandLastRow;
    for (int step = 0;; ++step) {
        uint8_t adc = 0;
        if (int result = ReadReg(0x70, &adc); result != BB_SUCCESS) return result;
        const int level = adc >> 4;
        M4_LOG(3, kSource, "ADCOUT = %d", level);
        if (level >= 4 && level <= 12) return BB_SUCCESS;
        if (step == kMaxVcoSteps) {
            M4_LOG(2, kSource, "VCO search stopped after %d steps", kMaxVcoSteps);
            return BB_SUCCESS;
        }
        const int next = level < 4 ? row - 1 : row + 1;
        if (next < first || next > last) {
            M4_LOG(1, kSource, "ERR: Out of range");
            *in_band = false;
            return BB_SUCCESS;
        }
        if (int result = WriteSubBand(next); result != BB_SUCCESS) return result;
        if (kVcoTable[next].a != kVcoTable[row].a) {
            if (int result = WriteDivider(lo, next, band); result != BB_SUCCESS) return result;
        }
        row = next;
    }
}

int Finish() {
    uint8_t value = 0;
    if (int result = ReadReg(0x7F, &value); result != BB_SUCCESS) return result;
    if (int result = WriteReg(0x7F, static_cast<uint8_t>((value & 0x3F) | 0x40));
        result != BB_SUCCESS) {
        return result;
    }
    BB_Pause(1);
    uint8_t level = 0;
    if (int result = ReadReg(0x68, &level); result != BB_SUCCESS) return result;
    const int c = (level >> 4) > 13 ? 13 : (level >> 4);
    if (int result = WriteReg(0x7F, static_cast<uint8_t>((value & 0x3F) | 0x80));
        result != BB_SUCCESS) {
        return result;
    }
    BB_Pause(1);
    return WriteReg(0x74, static_cast<uint8_t>(c * 16 | 0x0A));
}

int Configure(double clock_mhz, uint8_t /*tuner_address*/) {
    Settings().clock = clock_mhz;
    return BB_SUCCESS;
}

int Tune(double rf) {
    uint8_t id[2] = {0, 0};
    if (int result = ReadReg(0x66, &id[0]); result != BB_SUCCESS) return result;
    if (int result = ReadReg(0x67, &id[1]); result != BB_SUCCESS) return result;
    if (id[0] != 0x10 || id[1] != 0x30) return BB_ERR_TUNER_ID;

    Band band;
    if (rf >= 170.0 && rf <= 254.0) {
        band = kBandIII;
    } else if (rf >= 1445.0 && rf <= 1495.0) {
        band = kLBand;
    } else {
        M4_LOG(1, kSource, "Not supported frequency!!");
        return BB_ERR_GENERIC;
    }
    Settings().band = band;
    if (int result = SetUpBand(band); result != BB_SUCCESS) return result;

    const double lo = rf + kIntermediateFrequency;
    const int row = RowFor(lo, band);
    if (row < 0) return BB_SUCCESS;
    if (band == kLBand) M4_LOG(2, kSource, "LO_FREQ=%.6f", lo);
    if (int result = WriteSubBand(row); result != BB_SUCCESS) return result;
    if (int result = WriteDivider(lo, row, band); result != BB_SUCCESS) return result;

    bool in_band = true;
    if (int result = SearchVco(lo, row, band, &in_band); result != BB_SUCCESS) return result;
    if (!in_band) return BB_SUCCESS;
    return Finish();
}

int CarMode(int command) {
    return ITD3020_CarMode(command);
}

}  // namespace

void ITD3020_Install(TunerDriver* driver, const char* /*baseband*/) {
    *driver = {Configure, Tune, CarMode};
}

int ITD3020_CarMode(int command) {
    if (command != kCarModeOn && command != kCarModeOff) return BB_ERR_GENERIC;
    ItdState& settings = Settings();
    settings.car_mode[settings.band.load()] = command == kCarModeOn ? 0x03 : 0x0B;
    return BB_SUCCESS;
}

ItdSynthesiser ITD3020_Synthesiser(double rf_mhz, double clock_mhz) {
    ItdSynthesiser result{-1, 0, 0, 0, 0, 0};
    const double lo = rf_mhz + kIntermediateFrequency;
    const int row = RowFor(lo, BandOf(rf_mhz));
    if (row < 0) return result;
    result.row = row;
    result.vco_select = kVcoTable[row].a;
    result.band_code = kVcoTable[row].b;
    result.divider = kVcoTable[row].d;
    Divide(lo, row, clock_mhz, &result.n, &result.f);
    return result;
}
