#include "upcheck/build_variant.h"

#include <cstdlib>

#ifndef KORU_UPCHECK_HOST
#define KORU_UPCHECK_HOST "www.koru-dmb.example"
#endif

namespace koru::upcheck {

namespace {

constexpr BuildVariant kBuilds[] = {
    {"upcheckEngKORU", "KORU", Language::kEnglish, "KORU-DMB New Program Check",
     "/koru_dmb/latest/"},
    {"upcheckKORU", "KORU", Language::kKorean, "KORU-DMB New Program Check", "/koru_dmb/latest/"},
    {"upcheckEngTALVEN", "TALVEN", Language::kEnglish, "New Program Check",
     "/download/TALVEN/latest/"},
    {"upcheckTALVEN", "TALVEN", Language::kKorean, "TALVEN New Program Check",
     "/download/TALVEN/latest/"},
};

}  // namespace

const BuildVariant& FindBuildVariant(std::string_view product, Language language) {
    for (const BuildVariant& build : kBuilds) {
        if (build.product == product && build.language == language) return build;
    }
    return kBuilds[0];
}

std::string MakerHost() {
    return KORU_UPCHECK_HOST;
}

std::string ServerBasePath(const BuildVariant& variant) {
    if (const char* url = std::getenv("KORU_UPCHECK_URL"); url != nullptr && *url != '\0') {
        std::string base = url;
        if (base.back() != '/') base += '/';
        return base;
    }
    return "https://" + MakerHost() + variant.server_path;
}

}  // namespace koru::upcheck
