// Broadcast bytes that the data-service display reads: any bytes as a slideshow file (JPEG or
// PNG, told apart by their start), and as a dynamic label in every character set and as a data
// channel's label that names its folder.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "player/core/data_service_text.h"
#include "player/dataservice/slide_picture.h"

namespace {

const std::string& SlidePath() {
    static const std::string path = "/tmp/fuzz_data_service_" + std::to_string(getpid()) + ".jpg";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (int charset : {0, 4, 6, 15, 9, -1, 300}) {
        const std::string text = koru::player::LabelText(charset, data, size);
        if (size > 0 && text.size() > 4 * koru::player::kDlsBufferBytes) __builtin_trap();
    }
    const std::string label(reinterpret_cast<const char*>(data), size);
    const std::string folder = koru::player::ChannelDataFolder("/m/", label);
    // One folder below the base, whatever the label says.
    if (folder.find('/', 3) != folder.size() - 1 || folder == "/m/../" || folder == "/m/./")
        __builtin_trap();

    if (FILE* file = std::fopen(SlidePath().c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
        if (std::optional<QByteArray> bytes = koru::player::ReadSlideFile(SlidePath())) {
            const std::optional<QImage> picture = koru::player::DecodeSlide(SlidePath(), *bytes);
            if (picture && picture->isNull()) __builtin_trap();
        }
    }
    return 0;
}
