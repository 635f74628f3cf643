// The PN3030 T-DMB baseband: registers in the 0x68 page, the tuner behind its own I2C master,
// its initialisation tables, lock check, stream start and stop and its packet stream.
#ifndef RXMOD_PN3030_PN3030_H
#define RXMOD_PN3030_PN3030_H

#include <cstdint>

#include "rxmod/bb_api.h"

// The driver's settings (part of the receiver, see receiver.h).
struct Pn3030State {
    uint8_t tuner_address = 0;  // behind the I2C master, from configure
    double last_signal = 0.0;   // a signal report of code 0 repeats it
};

// Fills the baseband driver table and replaces both buses of the link with the PN3030's.
void PN3030_Install(BasebandDriver* driver);

// Payload rewriting before a packet is handed out; both return the new payload length.
// FIC: a 16-bit mask and twelve 30-byte blocks become the unmasked blocks as 32-byte FIBs.
int PN3030_RewriteFic(uint8_t* payload, int length);
// Signal report: word 0 the signal value x 10, word 1 the error value x 10^6 (little-endian).
int PN3030_RewriteSignal(uint8_t* payload, int length);

// Largest payload of one packet on the PN3030 pipe.
constexpr int kPn3030MaxPayload = 3072;

#endif
