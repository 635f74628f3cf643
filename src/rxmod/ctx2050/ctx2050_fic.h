// What the CTX2050 takes from the FIC: the FIBs it hands on, checked against their CRC, and the
// shape of a sub-channel for one of its two decoder channels, derived from the sub-channel
// organisation (FIG 0/1) with the UEP and EEP profiles of EN 300 401 clause 11.3.
#ifndef RXMOD_CTX2050_CTX2050_FIC_H
#define RXMOD_CTX2050_CTX2050_FIC_H

#include <cstdint>

#include "rxmod/bb_ficdec.h"

constexpr int kDescriptorLength = 12;

// One decoder channel of the chip: the sub-channel it decodes and its puncturing.
struct DecoderChannel {
    uint8_t in_use = 0;  // kRecordInUse once configured
    bool grown = false;  // the last set-up made the channel larger
    uint8_t subchid = 0;
    uint16_t start = 0;    // CU
    uint8_t form = 0;      // 0 short (UEP), 1 long (EEP)
    uint16_t size = 0;     // CU
    uint16_t bitrate = 0;  // kbit/s
    uint16_t l[4] = {};    // blocks punctured with pi[i]
    uint8_t pi[4] = {};
    uint8_t padding = 0;  // bits
};

// Fills the shape of the sub-channel sub (start, size, bit rate, puncturing, padding) into
// channel; the other fields stay. False when the record describes no protection of the
// standard (a UEP table index past the table, an EEP option or size that fits no profile).
bool CTX2050_DescribeSubChannel(const SubChannelRecord& sub, DecoderChannel* channel);

// The 12-byte descriptor the chip reads for a decoder channel.
void CTX2050_PackDescriptor(const DecoderChannel& channel, uint8_t descriptor[kDescriptorLength]);

// The FIC packet's payload is whole 32-byte FIBs with their CRC. Moves the FIBs whose CRC is
// right to the front, in order, and returns their length; a FIB that fails its CRC would put
// whatever its bytes say into the service list, so it is dropped, as the PN3030 drops the FIBs
// its mask marks. A trailing part of a FIB is dropped too.
int CTX2050_KeepGoodFibs(uint8_t* payload, int length);

#endif
