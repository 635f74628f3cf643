// VelmarPlayer: the KORU-DMB player.
//   VelmarPlayer [FILE]
// With a player already running, FILE is handed to it and this start ends.
#include <QApplication>
#include <string>
#include <vector>

#include "player/core/player_app.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("VelmarPlayer");
    QApplication::setOrganizationName("KORU-DMB");
    QApplication::setQuitOnLastWindowClosed(false);
    koru::player::InstallFontSubstitutions();
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    koru::player::PlayerApp player;
    return player.Run(arguments);
}
