// The receiver: everything the plug-in keeps about the one stick of the process, in one object.
// It holds the USB link, the operation tables in force (buses and chip drivers) with each
// driver's own settings, what the stick told about itself, the packet stream and its ring, the
// ten service slots with the stream's data decoder, the working ChannelInfo and the channel
// cache.
//
// Owner: the plug-in. There is one per process, made on first use and kept until the plug-in is
// unloaded; the modules of the plug-in reach their part through BB_Receiver() and hand out no
// references that outlive a call, except the packets of the ring (valid for 255 more packets).
//
// Thread rule: one thread at a time, without locks. While a download thread is alive (counted in
// download_threads, from the connect that starts it until it has ended, also when it outlives
// its close) it alone uses the receiver, and both a connect and a channel search are refused.
// Otherwise the thread that runs DMB_API_SearchChannel, or the one that connects (bring-up,
// before the download thread starts) or closes (after it ended), uses it. Two fields are read
// across threads and so are atomic: download_threads, and the car-mode request that the player
// may set while a service plays (it takes effect at the next tune).
#ifndef RXMOD_RECEIVER_H
#define RXMOD_RECEIVER_H

#include <atomic>

#include "rxmod/bb_api.h"
#include "rxmod/bb_ficdec.h"
#include "rxmod/bb_if.h"
#include "rxmod/bb_stream.h"
#include "rxmod/bb_tuner.h"
#include "rxmod/ctx2050/ctx2050.h"
#include "rxmod/dmb_api.h"
#include "rxmod/fc2501/fc2501.h"
#include "rxmod/fnx14701/fnx14701.h"
#include "rxmod/itd3020/itd3020.h"
#include "rxmod/pn3030/pn3030.h"

struct Receiver {
    LinkState link;                                    // bb_if
    RegisterBus register_bus = BB_Ifce_RegisterBus();  // the link's until a baseband replaces it
    TunerBus tuner_bus = BB_Ifce_TunerBus();
    HwInfo hw{};                                // bb_api
    BasebandDriver baseband = BB_NoBaseband();  // until bring-up installs the drivers
    TunerDriver tuner = BB_NoTuner();
    Pn3030State pn3030;  // the drivers' own settings
    Ctx2050State ctx2050;
    ItdState itd;
    Fc2501State fc2501;
    Fnx14701State fnx14701;
    PacketStream stream;                 // bb_stream
    ServiceSlot slots[kServiceSlots]{};  // bb_tuner
    DataDecoderHooks decoder_hooks{nullptr, nullptr};
    DataDecoderContext* decoder = nullptr;
    ChannelInfo working{};                 // bb_ficdec
    ChannelCache cache;                    // dmb_api
    std::atomic<int> download_threads{0};  // rxmod
};

Receiver& BB_Receiver();

#endif
