// The CTX2050 packet stream: any bytes on the pipe are cut into packets of at most 1024 bytes
// without reading past a ring buffer; FIC payloads keep only whole FIBs whose CRC is right, and
// signal reports are rewritten inside their buffers.
#include <cstddef>
#include <cstdint>

#include "pipe_stick.h"
#include "rxmod/ctx2050/ctx2050.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BasebandDriver driver{};
    CTX2050_Install(&driver);
    koru::fuzz::FetchAll(driver, data, size, kCtx2050MaxPayload);
    return 0;
}
