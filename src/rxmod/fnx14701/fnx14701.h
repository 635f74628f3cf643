// The FNX14701 tuner (bus address 0x62, with the CTX2050 baseband), reached through the tuner
// bus: band III, L-band and the FM broadcast band, from a synthesiser in steps of 8192 kHz.
#ifndef RXMOD_FNX14701_FNX14701_H
#define RXMOD_FNX14701_FNX14701_H

#include <cstdint>

#include "rxmod/bb_api.h"

// The driver's settings (part of the receiver, see receiver.h).
struct Fnx14701State {
    double clock = 0.0;  // MHz, stored by configure; the synthesiser does not use it
};

// What the synthesiser registers take for a frequency (exposed for tests).
struct FnxSynthesiser {
    uint8_t mode;       // register 0x01: 0 band III, 1 L-band, 3 FM
    uint8_t frac_high;  // 0x07
    uint8_t frac_low;   // 0x08
    uint8_t integer;    // 0x09: INT - 128, with bit 7 set
    uint8_t n_test;     // 0x0C: the output divider
};
FnxSynthesiser FNX14701_Synthesiser(int khz);

void FNX14701_Install(TunerDriver* driver, const char* baseband);

#endif
