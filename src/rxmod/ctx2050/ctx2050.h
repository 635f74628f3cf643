// The CTX2050 T-DMB baseband: 16-bit register addresses over the link's own buses (the tuner is
// reached by the stick's tuner commands), its initialisation, lock check, stream start and stop,
// the set-up of a sub-channel on one of its two decoder channels, and its packet stream.
#ifndef RXMOD_CTX2050_CTX2050_H
#define RXMOD_CTX2050_CTX2050_H

#include <cstdint>

#include "rxmod/bb_api.h"
#include "rxmod/ctx2050/ctx2050_fic.h"

constexpr int kAudioDecoderChannel = 0;  // audio and data
constexpr int kVideoDecoderChannel = 1;

// The driver's settings (part of the receiver, see receiver.h).
struct Ctx2050State {
    uint8_t tuner_address = 0;
    int variant = 0;  // stored by configure; no operation reads it
    DecoderChannel channels[2];
};

// Fills the baseband driver table; the link's buses stay.
void CTX2050_Install(BasebandDriver* driver);

// Configures the sub-channel subchid of the working ChannelInfo on decoder channel d: 0, or -1
// when the sub-channel is unknown or its protection fits no profile.
int CTX2050_SetUpSubChannel(int subchid, int d);

// Signal report: word 0 becomes the signal value x 10 (0.3 a / b + 4 from the chip's words a
// and b, 0 when either is 0); the new length is 4.
int CTX2050_RewriteSignal(uint8_t* payload, int length);

// Largest payload of one packet on the CTX2050 pipe.
constexpr int kCtx2050MaxPayload = 1024;

#endif
