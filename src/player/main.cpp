// VelmarPlayer: the KORU-DMB player.
//   VelmarPlayer [FILE]
// With a player already running, FILE is handed to it and this start ends.
#include <QApplication>
#include <memory>
#include <string>
#include <vector>

#include "player/channels/channel_dialogs.h"
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
    std::unique_ptr<koru::player::ChannelDialogs> channels;
    player.SetWindowBuilder([&channels](koru::player::PlayerApp& app) {
        koru::player::ChannelDialogs::Dependencies dependencies;
        dependencies.main_window = app.window();
        dependencies.skin = &app.window()->skin();
        dependencies.search.controller = app.controller();
        dependencies.search.event_window = app.events()->window();
        PluginManager* plugins = app.plugins();
        dependencies.search.find_search_function = [plugins] {
            return koru::player::FindSearchFunction(plugins);
        };
        channels = std::make_unique<koru::player::ChannelDialogs>(dependencies);
        app.SetChannelWindows(channels.get());
    });
    const int status = player.Run(arguments);
    if (channels != nullptr) {
        player.SetChannelWindows(nullptr);
        channels.reset();
    }
    return status;
}
