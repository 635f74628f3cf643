// The FC2501 tuner (bus address 0x60), reached through the tuner bus, in the form that suits its
// baseband: behind a PN3030 its register image goes out in blocks and its synthesiser works from
// the configured clock; behind a CTX2050 its registers are written one by one and its
// synthesiser works from a fixed 24576 kHz reference.
#ifndef RXMOD_FC2501_FC2501_H
#define RXMOD_FC2501_FC2501_H

#include "rxmod/bb_api.h"

// The driver's settings (part of the receiver, see receiver.h).
struct Fc2501State {
    double clock = 16.384;  // MHz, until configure (the PN3030 form's reference)
};

// Fills the tuner driver table with the form for the baseband ("PN3030" or "CTX2050").
void FC2501_Install(TunerDriver* driver, const char* baseband);

#endif
