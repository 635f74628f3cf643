// Any bytes as the server's "proginfo.txt": parse it, read its version as a number and check
// its file name; a name that passes must be plain.
#include <cstdint>
#include <string_view>

#include "upcheck/proginfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const koru::upcheck::ProgInfo info =
        koru::upcheck::ParseProgInfo(bytes.substr(0, koru::upcheck::kReadLimit));
    if (!info.readable) return 0;
    if (info.version.size() > koru::upcheck::kLineLimit) __builtin_trap();
    (void)koru::upcheck::VersionNumber(info.version);
    (void)koru::upcheck::VersionNumber(bytes.substr(0, koru::upcheck::kReadLimit));
    if (koru::upcheck::IsPlainFileName(info.file_name) &&
        info.file_name.find_first_of("/\\:% ?#") != std::string::npos)
        __builtin_trap();
    return 0;
}
