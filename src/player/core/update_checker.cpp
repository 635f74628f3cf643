#include "player/core/update_checker.h"

#include <QProcess>

#include "player/core/player_state.h"

namespace koru::player {

const char* UpdateCheckerProgram(int language) {
    return language == kLanguageEnglish ? "upcheckEngKORU" : "upcheckKORU";
}

bool StartUpdateChecker(int language, const std::string& program_folder,
                        const std::string& working_folder, const std::string& version) {
    const QString program =
        QString::fromStdString(program_folder + "/" + UpdateCheckerProgram(language));
    return QProcess::startDetached(program, {QString::fromStdString(version)},
                                   QString::fromStdString(working_folder));
}

}  // namespace koru::player
