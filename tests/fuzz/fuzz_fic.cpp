// The receiver's FIC decoder on random FIBs: whatever the lengths in them say, decoding stays
// inside each FIB's 30 bytes, keeps every reference in range and never crashes or hangs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "rxmod/bb_ficdec.h"
#include "rxmod/dmb_api.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ChannelInfo info;
    FIC_Reset(info, 208.736);
    const size_t whole = size / kFibLength * kFibLength;
    FIC_Decode(info, data, static_cast<int>(whole));
    FIC_Complete(info);
    for (ServiceRecord& service : info.services) {
        if (service.in_use != kRecordInUse) continue;
        if (service.label[kLabelLength] != '\0' || service.component_count > 15) abort();
        for (uint32_t reference : service.components) {
            if (reference > static_cast<uint32_t>(kMaxComponents)) abort();
        }
        DMB_ServiceKind(info, service);
    }
    return 0;
}
