// FNX14701 tuner driver.
#include "rxmod/fnx14701/fnx14701.h"

#include "m4systems/log.h"
#include "rxmod/bb_err.h"
#include "rxmod/bb_if.h"
#include "rxmod/bb_tuner.h"
#include "rxmod/receiver.h"

namespace {

constexpr const char* kSource = "fnx14701";
constexpr double kStepKhz = 8192.0;
constexpr int kFmIntermediateKhz = 14336;
constexpr int kLBandFromKhz = 245000;

int Configure(double clock_mhz, uint8_t /*tuner_address*/) {
    BB_Receiver().fnx14701.clock = clock_mhz;
    return BB_SUCCESS;
}

int Tune(double rf) {
    const int khz = BB_FrequencyKhz(rf);
    // The synthesiser's restart: its calibration and divider reset pulses.
    int result = BB_TunerWriteSequence({{0x06, 0xF8},
                                        {0x15, 0x60},
                                        {0x19, 0x40},
                                        {0x19, 0x00},
                                        {0x15, 0x70},
                                        {0x15, 0x60},
                                        {0x03, 0x10}});
    if (result == BB_SUCCESS && khz > kLBandFromKhz) result = BB_TunerWriteSequence({{0x02, 0x40}});
    if (result != BB_SUCCESS) return result;
    const FnxSynthesiser s = FNX14701_Synthesiser(khz);
    const TunerRegValue writes[] = {{0x01, s.mode},
                                    {0x07, s.frac_high},
                                    {0x08, s.frac_low},
                                    {0x09, s.integer},
                                    {0x0C, s.n_test}};
    if ((result = BB_TunerWriteSequence(writes)) != BB_SUCCESS) return result;
    for (const TunerRegValue& write : writes)
        M4_LOG(3, kSource, "Reg 0x%02X: 0x%X", write.reg, write.value);
    return BB_SUCCESS;
}

int CarMode(int /*command*/) {
    return BB_ERR_NOT_SUPPORTED;
}

}  // namespace

FnxSynthesiser FNX14701_Synthesiser(int khz) {
    FnxSynthesiser s{};
    int64_t vco = 0;
    int n_test = 0;
    if (khz >= 65800 && khz <= 108000) {  // FM
        s.mode = 3;
        const int m = khz + kFmIntermediateKhz > 100000 ? 4 : 5;
        n_test = m - 3;
        vco = int64_t{khz + kFmIntermediateKhz} * m * 4;
    } else if (khz >= 1450000 && khz <= 1492000) {  // L-band
        s.mode = 1;
        n_test = 0;
        vco = int64_t{khz} * 4 / 3;
    } else {  // band III
        s.mode = 0;
        const int vco_n = khz <= 200000 ? 5 : 4;
        M4_LOG(3, kSource, "VCO_N = %X", vco_n);
        vco = int64_t{2} * vco_n * khz;
        M4_LOG(3, kSource, "FVCO = %X", static_cast<unsigned>(vco));
        n_test = khz <= 200000 ? 2 : 1;
        M4_LOG(3, kSource, "N_TEST = %X", n_test);
    }
    const double q = static_cast<double>(vco) / kStepKhz;
    M4_LOG(3, kSource, "FVCO2 = %X", static_cast<unsigned>(q));
    const auto integer = static_cast<int>(q);
    const int int_test = integer - 128;
    M4_LOG(3, kSource, "INT_TEST = %X", static_cast<unsigned>(int_test));
    const auto frac = static_cast<int>((q - integer) * 65536.0 + 0.5);
    M4_LOG(3, kSource, "FVCO3 = %X", static_cast<unsigned>(frac));
    s.frac_high = static_cast<uint8_t>((frac >> 8) & 0xFF);
    s.frac_low = static_cast<uint8_t>(frac & 0xFF);
    s.integer = static_cast<uint8_t>((int_test & 0xFF) | 0x80);
    s.n_test = static_cast<uint8_t>(n_test);
    return s;
}

void FNX14701_Install(TunerDriver* driver, const char* /*baseband*/) {
    *driver = {Configure, Tune, CarMode};
}
