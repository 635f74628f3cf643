// The program information dialog's texts: the product line and the software version.
#ifndef PLAYER_DIALOGS_PROGRAM_INFORMATION_H
#define PLAYER_DIALOGS_PROGRAM_INFORMATION_H

#include <string>

#include "player/dialogs/bilingual.h"

namespace koru::player {

constexpr Bilingual kProgramInformationTitle = {"프로그램 정보", "Program information"};
constexpr Bilingual kProductLine = {"KORU-DMB  T-DMB/DAB 수신 프로그램",
                                    "KORU-DMB  T-DMB/DAB receiver and player"};

// "Software version 2.241": the word, one blank, the version text.
std::string VersionLine(int language);

}  // namespace koru::player

#endif
