// The ITD3020 and ITD3010 tuners (one driver): band presets, the fractional-N synthesiser,
// the VCO sub-band search and the car mode. Reached only through the tuner bus.
#ifndef RXMOD_ITD3020_ITD3020_H
#define RXMOD_ITD3020_ITD3020_H

#include <atomic>
#include <cstdint>

#include "rxmod/bb_api.h"

// The register image covers 0x00 to 0xB6: the last piece written at a band change is 8 bytes
// from 0xAF.
constexpr int kItdImageSize = 0xB7;

// The driver's settings (part of the receiver, see receiver.h).
struct ItdState {
    double clock = 24.576;  // MHz, until configure
    uint8_t image[kItdImageSize] = {};
    // Car mode: per band (0 band III, 1 L-band), the value register 0xA0 takes at the band's
    // next set-up, 0 for none. Set from the player's thread while a service may play.
    std::atomic<uint8_t> car_mode[2] = {};
    std::atomic<int> band{0};  // of the frequency last tuned
};

// Fills the tuner driver table (the same driver behind either baseband).
void ITD3020_Install(TunerDriver* driver, const char* baseband);
// Car mode: 1000 on, 1001 off, for the band of the current frequency; other commands -1.
int ITD3020_CarMode(int command);

// What the synthesiser is set to for a local oscillator frequency (exposed for tests).
struct ItdSynthesiser {
    int row;             // index into the VCO table; -1 when no row holds the frequency
    uint8_t vco_select;  // A
    uint8_t band_code;   // B
    uint8_t divider;     // D
    int n;
    int f;
};
ItdSynthesiser ITD3020_Synthesiser(double rf_mhz, double clock_mhz);

#endif
