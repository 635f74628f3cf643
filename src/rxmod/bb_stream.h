// The packet stream on the USB pipe, as both basebands frame it: a 4-byte header (packet id, a
// byte not read, the payload length little-endian) and the payload. The get-stream state machine
// cuts what the receive queue holds into packets and keeps each in a ring of 256 buffers, so a
// packet handed out stays valid until 255 further packets were fetched.
#ifndef RXMOD_BB_STREAM_H
#define RXMOD_BB_STREAM_H

#include <cstdint>

constexpr int kPacketHeaderLength = 4;
constexpr int kPacketRingSize = 256;
constexpr int kLargestPacketPayload = 3072;  // what a PN3030 buffer holds; the largest of all

// The framing state and the ring (part of the receiver, see receiver.h).
struct PacketStream {
    int state = 0;  // 0 expecting a header, 1 header read, expecting the payload
    int position = 0;
    int length = 0;  // announced by the header
    uint8_t ring[kPacketRingSize][kPacketHeaderLength + kLargestPacketPayload];
};

// What differs between the basebands' get-streams.
struct StreamForm {
    const char* name;       // "PN3030_GetStream", "CTX2050_GetStream": the log lines' prefix
    int max_payload;        // a header announcing more is a stream fault: flush and start afresh
    bool log_queue_errors;  // log a failed receive-queue check with its byte count
    // How FIC and signal report payloads are rewritten inside their buffer before they are
    // handed out; each returns the new length.
    int (*rewrite_fic)(uint8_t* payload, int length);
    int (*rewrite_signal)(uint8_t* payload, int length);
};

// The next whole packet, its payload rewritten as the form says: 0 with *id, *payload (inside
// the ring) and *length; BB_ERR_NO_DATA while the queue holds less than the next header or payload;
// BB_ERR_RX_QUEUE_OVERRUN (the link flushed); BB_ERR_NO_DEVICE or another error of the link. Every
// error but BB_ERR_NO_DATA forgets a packet half read.
int BB_StreamNextPacket(const StreamForm& form, int* id, uint8_t** payload, int* length);

// Forgets any packet half read and starts the ring afresh.
void BB_StreamReset();

#endif
