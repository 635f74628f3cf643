// The PN3030 packet stream: any bytes on the pipe are cut into packets without reading past a
// ring buffer, and FIC and signal payloads are rewritten inside their buffers.
#include <cstddef>
#include <cstdint>

#include "pipe_stick.h"
#include "rxmod/pn3030/pn3030.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BasebandDriver driver{};
    PN3030_Install(&driver);
    koru::fuzz::FetchAll(driver, data, size, kPn3030MaxPayload + 32);
    return 0;
}
