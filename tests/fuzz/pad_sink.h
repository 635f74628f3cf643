// What the PAD fuzz targets share: slides that come complete go below a scratch folder made once
// per process, and every notification reads back what it announces (label, file name), as the
// player's message window does.
#ifndef KORU_TESTS_FUZZ_PAD_SINK_H
#define KORU_TESTS_FUZZ_PAD_SINK_H

#include <stdlib.h>

#include <string>

#include "m4systems/padaudio/pad_service.h"
#include "m4systems/padaudio/padaudio.h"

namespace koru::test {

// pattern: a mkdtemp pattern ("/tmp/name-XXXXXX").
inline void UseScratchMotFolder(const char* pattern) {
    static bool done = false;
    if (done) return;
    done = true;
    std::string folder_pattern = pattern;
    if (const char* folder = mkdtemp(folder_pattern.data()); folder != nullptr)
        SetMOTPath((std::string(folder) + "/").c_str());
}

inline koru::padaudio::Notify ReadBackNotify() {
    return [](uint32_t, int64_t, int64_t) {
        uint8_t label[256];
        GetDLSData(label);
        MOTFileName name;
        GetMOTFileName(&name);
    };
}

}  // namespace koru::test

#endif
