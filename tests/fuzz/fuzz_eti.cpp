// ETI-NI recordings and the FIC inside them: any bytes must be read without overrun, hang or
// crash; good frames must survive a write and a second read unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "dab/eti.h"
#include "dab/fic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace koru::dab;
    EtiReader reader(std::vector<uint8_t>(data, data + size));
    FicDecoder fic;
    EtiFrame frame;
    while (reader.Next(&frame)) {
        for (const Fib& fib : frame.fibs)
            fic.Feed(fib);
        const std::vector<uint8_t> written = WriteEtiFrame(frame);
        EtiFrame again;
        if (ParseEtiFrame(written, &again) != EtiError::kNone || !(again == frame)) abort();
    }
    (void)fic.ensemble();
    (void)fic.complete();
    return 0;
}
