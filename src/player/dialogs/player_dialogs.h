// The dialogs as the main window sees them (DialogWindows): the modal options, shortcut list
// and program information dialogs, opened over the main window with its dialog-open mark set,
// and the modeless manual search window, created hidden with the main window.
#ifndef PLAYER_DIALOGS_PLAYER_DIALOGS_H
#define PLAYER_DIALOGS_PLAYER_DIALOGS_H

#include <QPointer>
#include <memory>

#include "player/channels/channel_dialogs.h"
#include "player/core/main_view.h"
#include "player/dialogs/manual_search.h"
#include "player/dialogs/manual_search_dialog.h"
#include "player/dialogs/options_dialog.h"
#include "player/dialogs/options_model.h"

namespace koru::player {

class PlayerDialogs : public DialogWindows {
  public:
    struct Dependencies {
        QWidget* main_window = nullptr;
        MainController* controller = nullptr;
        // Receives the manual search's close and tune requests.
        QObject* event_window = nullptr;
        std::function<DMB_API_SearchChannelFn()> find_search_function;
        // The channel list and search windows the manual search works with.
        ChannelDialogs* channels = nullptr;
        // What the options' OK does outside the player's logic; an empty member stands for the
        // real thing (the window, the plug-in's car mode, the terminal's time shift, a timer).
        OptionsModel::Effects options;
        OptionDlg::FolderChooser folder_chooser;
    };
    explicit PlayerDialogs(const Dependencies& dependencies);
    ~PlayerDialogs() override;
    PlayerDialogs(const PlayerDialogs&) = delete;
    PlayerDialogs& operator=(const PlayerDialogs&) = delete;

    ManualSearch& manual_search() { return *manual_search_; }
    CManualSearch* manual_search_window() const { return manual_search_window_; }

    // DialogWindows.
    void OptionsDialog() override;
    void ShortcutListDialog() override;
    void InformationDialog() override;
    void ShowManualSearch() override;

  private:
    // Runs a modal dialog over the main window with the dialog-open mark set.
    void RunModal(QDialog& dialog);
    OptionsModel::Effects RealEffects(const OptionsModel::Effects& given);

    QWidget* main_window_;
    MainController& controller_;
    OptionsModel options_;
    OptionDlg::FolderChooser folder_chooser_;
    std::unique_ptr<ManualSearch> manual_search_;
    QPointer<CManualSearch> manual_search_window_;
};

}  // namespace koru::player

#endif
