// Any text as a "bbu://" URL handed to the receiver plug-in: can-handle and the URL grammar read
// it without reading past its end; what is accepted names a service of an ensemble (index 0 to
// 63, never the receiver's FIC or debug stream) on a frequency of at most seven digits, and the
// URL the player builds from those values reads back the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "m4systems/log.h"
#include "rxmod/bb_err.h"
#include "rxmod/bb_ficdec.h"
#include "rxmod/rxmod.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        M4_SetLogLevel(0);
        return true;
    }();
    (void)quiet;
    // A URL is a C string: the terminal hands over what comes before the first NUL.
    const std::string url(reinterpret_cast<const char*>(data), size);
    BB_CanHandleURL(nullptr, url.c_str());
    double mhz = -1;
    int32_t index = -1;
    int32_t kind = -1;
    const int result = BB_ParseURL(url.c_str(), &mhz, &index, &kind);
    if (result != BB_SUCCESS) {
        if (result != BB_ERR_NO_DEVICE) abort();
        return 0;
    }
    if (index < 0 || index >= kMaxServices) abort();
    if (kind != kStreamKindTs && kind != kStreamKindAudio) abort();
    const int khz = static_cast<int>(mhz * 1000.0 + 0.1);
    if (khz < 0 || khz > 9999999) abort();
    char again[64];
    std::snprintf(again, sizeof again, "bbu://%d,%d,0.%s", khz, index,
                  kind == kStreamKindTs ? "ts" : "mp2");
    double mhz2 = -1;
    int32_t index2 = -1;
    int32_t kind2 = -1;
    if (BB_ParseURL(again, &mhz2, &index2, &kind2) != BB_SUCCESS) abort();
    if (mhz2 != mhz || index2 != index || kind2 != kind) abort();
    return 0;
}
