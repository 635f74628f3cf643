// mkskin: builds a skin's layout file (".lay") from its layout XML and a folder of images.
//
//   mkskin LAYOUT.xml IMAGE_FOLDER OUTPUT.lay
//   mkskin --list LAYOUT.xml
//
// Every image the XML declares (a layer's or bitmap oblet's `resource`, a button's
// `resource`_1 ... _4) is taken from IMAGE_FOLDER as NAME.bmp or NAME.gif and stored in the
// order the player reads them back. --list prints the names in that order.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "m4systems/atomic_file.h"
#include "player/skin/dib_image.h"
#include "player/skin/skin_layout.h"

namespace {

std::optional<std::string> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void AppendLe32(std::string* out, size_t value) {
    for (int i = 0; i < 4; ++i)
        out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void AppendBlock(std::string* out, const std::string& block) {
    AppendLe32(out, block.size());
    out->append(block);
}

// The image file of a declared name, checked to decode as the player will decode it.
std::optional<std::string> LoadImage(const std::filesystem::path& folder, const std::string& name) {
    for (const char* extension : {".bmp", ".gif"}) {
        const std::filesystem::path path = folder / (name + extension);
        std::optional<std::string> bytes = ReadFile(path);
        if (!bytes) continue;
        koru::skin::DibImage image;
        std::string kind;
        const int result = image.LoadFromMemory(reinterpret_cast<const uint8_t*>(bytes->data()),
                                                bytes->size(), &kind);
        if (result != koru::skin::kImageOk) {
            std::fprintf(stderr, "mkskin: %s does not decode as BMP or GIF (code %d)\n",
                         path.c_str(), result);
            return std::nullopt;
        }
        return bytes;
    }
    std::fprintf(stderr, "mkskin: no %s.bmp or %s.gif in %s\n", name.c_str(), name.c_str(),
                 folder.c_str());
    return std::nullopt;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: mkskin LAYOUT.xml IMAGE_FOLDER OUTPUT.lay\n"
                 "       mkskin --list LAYOUT.xml\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const bool list = argc == 3 && std::strcmp(argv[1], "--list") == 0;
    if (!list && argc != 4) return Usage();
    const std::filesystem::path layout_path = argv[list ? 2 : 1];
    std::optional<std::string> xml = ReadFile(layout_path);
    if (!xml) {
        std::fprintf(stderr, "mkskin: cannot read %s\n", layout_path.c_str());
        return 1;
    }
    std::optional<std::vector<std::string>> names = koru::skin::DeclaredImageNames(*xml);
    if (!names) {
        std::fprintf(stderr, "mkskin: %s is not well-formed XML\n", layout_path.c_str());
        return 1;
    }
    if (list) {
        for (const std::string& name : *names)
            std::printf("%s\n", name.c_str());
        return 0;
    }
    std::string out;
    AppendBlock(&out, *xml);
    for (const std::string& name : *names) {
        std::optional<std::string> image = LoadImage(argv[2], name);
        if (!image) return 1;
        AppendBlock(&out, name);  // the block the player skips: the image's name
        AppendBlock(&out, *image);
    }
    if (!koru::WriteFileAtomically(argv[3], out)) {
        std::fprintf(stderr, "mkskin: cannot write %s\n", argv[3]);
        return 1;
    }
    std::printf("mkskin: %s: %zu images, %zu bytes\n", argv[3], names->size(), out.size());
    return 0;
}
