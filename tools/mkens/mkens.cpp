// mkens: writes the ETI-NI recording of an ensemble from its description.
//   mkens <description> -o <file.eti> [--cache <folder>] [--depfile <file.d>]
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string>

#include "tools/mkens/builder.h"
#include "tools/mkens/description.h"
#include "tools/mkens/media.h"

namespace {

int Usage() {
    std::fprintf(
        stderr,
        "usage: mkens <description> -o <file.eti> [--cache <folder>] [--depfile <file.d>]\n"
        "  --cache    keep the media made with FFmpeg there and reuse it\n"
        "  --depfile  write the files the recording is made from, for the build\n");
    return 2;
}

std::string Escaped(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == ' ' || c == '#' || c == '\\') out.push_back('\\');
        if (c == '$') out.push_back('$');
        out.push_back(c);
    }
    return out;
}

// Make-style dependencies: the recording depends on its description and the files it names.
void WriteDepfile(const std::string& depfile, const std::string& output, const std::string& input,
                  const koru::mkens::Description& description) {
    std::ofstream out(depfile, std::ios::trunc);
    out << Escaped(output) << ":";
    for (const std::filesystem::path& file : koru::mkens::InputFiles(description, input)) {
        out << " \\\n  " << Escaped(file.string());
    }
    out << "\n";
    if (!out) throw std::runtime_error("cannot write " + depfile);
}

}  // namespace

int main(int argc, char** argv) {
    std::string input, output, cache, depfile;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "-o" || arg == "--cache" || arg == "--depfile") && i + 1 < argc) {
            (arg == "-o" ? output : arg == "--cache" ? cache : depfile) = argv[++i];
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
        if (!depfile.empty()) WriteDepfile(depfile, output, input, *description);
        std::printf("mkens: %s: %zu services, %d frames (%.3f s), %d FFmpeg runs\n", output.c_str(),
                    description->services.size(), description->frames,
                    description->frames * koru::mkens::kFrameSeconds, media.ffmpeg_runs());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mkens: %s\n", e.what());
        return 1;
    }
    return 0;
}
