// The four builds of the update checker: one source, differing only in the product word (and
// with it the caption and the server path) and the language of the texts.
#ifndef UPCHECK_BUILD_VARIANT_H
#define UPCHECK_BUILD_VARIANT_H

#include <string>
#include <string_view>

#include "upcheck/upcheck_texts.h"

namespace koru::upcheck {

struct BuildVariant {
    const char* program;  // the executable's name
    const char* product;  // "KORU" or "TALVEN"
    Language language;
    const char* caption;      // the dialog's caption
    const char* server_path;  // below the maker's host, ending in "/"
};

// The build of this product word and language; the KORU English build for an unknown word.
const BuildVariant& FindBuildVariant(std::string_view product, Language language);

// The maker's web host name, set when the program is built (KORU_UPCHECK_HOST).
std::string MakerHost();

// Where the information file and the installers lie, ending in "/": the maker's host and the
// build's path, or the URL in the environment variable KORU_UPCHECK_URL (a local server in
// tests, a mirror for a packager).
std::string ServerBasePath(const BuildVariant& variant);

}  // namespace koru::upcheck

#endif
