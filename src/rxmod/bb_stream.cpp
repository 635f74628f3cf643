// The get-stream state machine of both basebands over the receiver's packet ring.
#include "rxmod/bb_stream.h"

#include "m4systems/log.h"
#include "rxmod/bb_api.h"
#include "rxmod/bb_err.h"
#include "rxmod/bb_if.h"
#include "rxmod/receiver.h"

namespace {

constexpr const char* kSource = "bb_stream";

PacketStream& Stream() {
    return BB_Receiver().stream;
}

// Reads exactly count bytes of what the queue announced. A short read leaves the framing
// unknown, so the pipe is flushed.
int ReadExactly(const StreamForm& form, uint8_t* buffer, int count) {
    int done = 0;
    while (done < count) {
        uint32_t got = 0;
        int result = BB_Ifce_ReadStream(buffer + done, static_cast<uint32_t>(count - done), &got);
        if (result != BB_SUCCESS) return result;
        if (got == 0) {
            M4_LOG(1, kSource, "%s: %d of %d bytes read", form.name, done, count);
            BB_Ifce_Flush();
            return BB_ERR_NO_DATA;
        }
        done += static_cast<int>(got);
    }
    return BB_SUCCESS;
}

}  // namespace

void BB_StreamReset() {
    PacketStream& stream = Stream();
    stream.state = 0;
    stream.position = 0;
    stream.length = 0;
}

int BB_StreamNextPacket(const StreamForm& form, int* id, uint8_t** payload, int* length) {
    PacketStream& stream = Stream();
    for (;;) {
        uint32_t queued = 0;
        int result = BB_Ifce_CheckRXQueue(&queued);
        if (result == BB_ERR_RX_QUEUE_OVERRUN) {
            M4_LOG(1, kSource, "BB_ERR_RX_QUEUE_OVERRUN");
            BB_Ifce_Flush();
            BB_StreamReset();
            return result;
        }
        if (result != BB_SUCCESS) {
            if (form.log_queue_errors) {
                M4_LOG(1, kSource, "BB_Ifce_CheckRXQueue() returned an error(%d): n_data=%d",
                       result, static_cast<int>(queued));
            }
            BB_StreamReset();
            return result;
        }
        uint8_t* packet = stream.ring[stream.position];
        if (stream.state == 0) {
            if (queued < kPacketHeaderLength) return BB_ERR_NO_DATA;
            if ((result = ReadExactly(form, packet, kPacketHeaderLength)) != BB_SUCCESS) {
                BB_StreamReset();
                return result;
            }
            stream.length = packet[2] | (packet[3] << 8);
            if (stream.length > form.max_payload) {
                // A header that no packet of this stick can have: the framing is lost.
                M4_LOG(1, kSource, "%s: packet of %d bytes, stream flushed", form.name,
                       stream.length);
                BB_Ifce_Flush();
                BB_StreamReset();
                return BB_ERR_NO_DATA;
            }
            stream.state = 1;
            continue;
        }
        if (stream.state != 1) {
            M4_LOG(1, kSource, "%s: Unknown state!!", form.name);
            return BB_ERR_GENERIC;
        }
        if (queued < static_cast<uint32_t>(stream.length)) return BB_ERR_NO_DATA;
        if ((result = ReadExactly(form, packet + kPacketHeaderLength, stream.length)) !=
            BB_SUCCESS) {
            BB_StreamReset();
            return result;
        }
        stream.position = (stream.position + 1) % kPacketRingSize;
        stream.state = 0;
        *id = packet[0];
        *payload = packet + kPacketHeaderLength;
        *length = stream.length;
        if (*id == kStreamIdFic) {
            *length = form.rewrite_fic(*payload, *length);
        } else if (*id == kStreamIdSignal) {
            *length = form.rewrite_signal(*payload, *length);
        }
        return BB_SUCCESS;
    }
}
