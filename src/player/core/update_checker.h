// Starting the update checker of the "Checking for New program" command: the English build
// when the language is English, else the Korean one, from the program folder with the player's
// version as its only argument. It runs in the user folder, where it may write its information
// file (the program folder may be read-only).
#ifndef PLAYER_CORE_UPDATE_CHECKER_H
#define PLAYER_CORE_UPDATE_CHECKER_H

#include <string>

namespace koru::player {

// "upcheckEngKORU" for English (1), else "upcheckKORU".
const char* UpdateCheckerProgram(int language);

// Starts it without waiting for it; false when it cannot be started.
bool StartUpdateChecker(int language, const std::string& program_folder,
                        const std::string& working_folder, const std::string& version);

}  // namespace koru::player

#endif
