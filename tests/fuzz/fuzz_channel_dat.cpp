// "channel.dat" images: a file of any bytes loads only whole records, with labels terminated
// and references in range, and what is loaded is saved and loaded again unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "rxmod/bb_ficdec.h"
#include "rxmod/dmb_api.h"

namespace {

void CheckCache() {
    const std::string image = DMB_ChannelCacheImage();
    const auto* bytes = reinterpret_cast<const uint8_t*>(image.data());
    for (size_t at = 4; at + kChannelRecordSize <= image.size(); at += kChannelRecordSize) {
        ChannelInfo info;
        DMB_ReadChannelRecord(bytes + at, &info);
        if (info.ensemble_label[kLabelLength] != '\0') abort();
        for (const ServiceRecord& service : info.services) {
            if (service.label[kLabelLength] != '\0' || service.component_count > 15) abort();
            for (uint32_t reference : service.components) {
                if (reference > static_cast<uint32_t>(kMaxComponents)) abort();
            }
        }
    }
    // Saving what was loaded and loading it again changes nothing.
    if (DMB_LoadChannelCacheImage(bytes, image.size()) != 0) abort();
    if (DMB_ChannelCacheImage() != image) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The bytes as a file of their own (short files, counts that lie)...
    DMB_LoadChannelCacheImage(data, size);
    CheckCache();
    // ...and, since whole records are larger than most inputs, as the pattern that fills the
    // records of a file whose count and length the first two bytes choose.
    if (size < 3) return 0;
    const size_t records = data[0] % 4;
    std::vector<uint8_t> image(4 + records * kChannelRecordSize + data[1] % 64);
    image[0] = static_cast<uint8_t>(records + data[1] / 64);
    for (size_t i = 4; i < image.size(); ++i)
        image[i] = data[2 + (i - 4) % (size - 2)];
    DMB_LoadChannelCacheImage(image.data(), image.size());
    CheckCache();
    return 0;
}
