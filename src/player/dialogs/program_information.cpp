#include "player/dialogs/program_information.h"

#include "player/core/player_app.h"

namespace koru::player {

namespace {

constexpr Bilingual kSoftwareVersion = {"소프트웨어 버전", "Software version"};

}  // namespace

std::string VersionLine(int language) {
    return std::string(kSoftwareVersion.In(language)) + " " + kVersion;
}

}  // namespace koru::player
