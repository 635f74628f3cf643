#include "player/core/data_service_text.h"

#include <algorithm>
#include <span>

#include "dab/charset.h"

namespace koru::player {

std::string LabelText(int charset, const uint8_t* buffer, size_t length) {
    const std::span<const uint8_t> bytes(buffer, std::min(length, kDlsBufferBytes));
    // Set 4 carries 16-bit characters here, as set 6 does; a value out of range reads as EBU
    // Latin like every set without a table of its own.
    uint8_t set = dab::kCharsetEbuLatin;
    if (charset == dab::kCharsetLatin1) {
        set = dab::kCharsetUcs2;
    } else if (charset >= 0 && charset <= 15) {
        set = static_cast<uint8_t>(charset);
    }
    return dab::DabTextToUtf8(bytes, set);
}

std::string ChannelDataFolder(const std::string& mot_base, const std::string& label) {
    std::string name = label.substr(0, label.find('\0'));
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    std::replace(name.begin(), name.end(), '/', '_');
    if (name.empty() || name == "." || name == "..") name = "_" + name;
    return mot_base + name + "/";
}

}  // namespace koru::player
