// mkens: writes the ETI-NI recording of an ensemble from its description.
//   mkens <description> -o <file.eti> [--cache <folder>]
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "tools/mkens/builder.h"
#include "tools/mkens/description.h"
#include "tools/mkens/media.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: mkens <description> -o <file.eti> [--cache <folder>]\n"
                 "  --cache  keep the media made with FFmpeg there and reuse it\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string input, output, cache;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "-o" || arg == "--cache") && i + 1 < argc) {
            (arg == "-o" ? output : cache) = argv[++i];
        } else if (!arg.empty() && arg[0] != '-' && input.empty()) {
            input = arg;
        } else {
            return Usage();
        }
    }
    if (input.empty() || output.empty()) return Usage();
    std::string error;
    const auto description = koru::mkens::ParseDescription(input, &error);
    if (!description) {
        std::fprintf(stderr, "mkens: %s\n", error.c_str());
        return 1;
    }
    try {
        koru::mkens::MediaMaker media(cache);
        koru::mkens::WriteEnsemble(*description, media, output);
        std::printf("mkens: %s: %zu services, %d frames (%.3f s), %d FFmpeg runs\n", output.c_str(),
                    description->services.size(), description->frames,
                    description->frames * koru::mkens::kFrameSeconds, media.ffmpeg_runs());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mkens: %s\n", e.what());
        return 1;
    }
    return 0;
}
