// VelmarPlayer: the KORU-DMB player.
//   VelmarPlayer [--eti FILE.eti[@KHZ]] [FILE]
// With a player already running, FILE is handed to it and this start ends.
#include <QApplication>
#include <memory>
#include <string>
#include <vector>

#include "player/channels/channel_dialogs.h"
#include "player/core/player_app.h"
#include "player/dataservice/data_service_windows.h"
#include "player/dialogs/player_dialogs.h"
#include "player/mpris/mpris_service.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("VelmarPlayer");
    QApplication::setOrganizationName("KORU-DMB");
    // The desktop finds the program's entry and icon by it.
    QGuiApplication::setDesktopFileName(KORU_APP_ID);
    QApplication::setQuitOnLastWindowClosed(false);
    koru::player::InstallFontSubstitutions();
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    koru::player::PlayerApp player;
    std::unique_ptr<koru::player::ChannelDialogs> channels;
    std::unique_ptr<koru::player::DataServiceWindows> data_service;
    std::unique_ptr<koru::player::PlayerDialogs> dialogs;
    std::unique_ptr<koru::player::MprisService> media_controls;
    player.SetWindowBuilder([&channels, &data_service, &dialogs,
                             &media_controls](koru::player::PlayerApp& app) {
        data_service = std::make_unique<koru::player::DataServiceWindows>(*app.window());
        app.SetDataServiceDisplay(data_service.get());
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

        koru::player::PlayerDialogs::Dependencies dialog_dependencies;
        dialog_dependencies.main_window = app.window();
        dialog_dependencies.controller = app.controller();
        dialog_dependencies.event_window = app.events()->window();
        dialog_dependencies.find_search_function = dependencies.search.find_search_function;
        dialog_dependencies.channels = channels.get();
        dialog_dependencies.schedule = &app.playback()->schedule();
        dialogs = std::make_unique<koru::player::PlayerDialogs>(dialog_dependencies);
        app.controller()->SetDialogWindows(dialogs.get());

        koru::player::MprisService::Dependencies media;
        media.event_window = app.events()->window();
        media.read_status = [&app] { return app.media_status().Read(); };
        media_controls = std::make_unique<koru::player::MprisService>(media);
        app.controller()->SetStatusObserver(
            [service = media_controls.get()] { service->StatusChanged(); });
        media_controls->Start();
    });
    const int status = player.Run(arguments);
    if (media_controls != nullptr) {
        player.controller()->SetStatusObserver(nullptr);
        media_controls.reset();
    }
    if (dialogs != nullptr) {
        player.controller()->SetDialogWindows(nullptr);
        dialogs.reset();
    }
    if (channels != nullptr) {
        player.SetChannelWindows(nullptr);
        channels.reset();
    }
    if (data_service != nullptr) {
        player.SetDataServiceDisplay(nullptr);
        data_service.reset();
    }
    return status;
}
