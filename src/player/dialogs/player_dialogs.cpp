#include "player/dialogs/player_dialogs.h"

#include <QTimer>
#include <QWindow>

#include "m4systems/log.h"
#include "m4systems/tsfeed/tsfeed.h"
#include "player/dialogs/program_information_dialog.h"
#include "player/dialogs/shortcut_list_dialog.h"
#include "rxmod/rxmod_api.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "VelmarPlayerDlg";

}  // namespace

PlayerDialogs::PlayerDialogs(const Dependencies& dependencies)
    : main_window_(dependencies.main_window),
      controller_(*dependencies.controller),
      options_(controller_, RealEffects(dependencies.options)),
      folder_chooser_(dependencies.folder_chooser) {
    ChannelDialogs* channels = dependencies.channels;
    ManualSearch::Dependencies search;
    search.controller = &controller_;
    search.event_window = dependencies.event_window;
    search.find_search_function = dependencies.find_search_function;
    search.table = &channels->search().table();
    search.list = channels->list_window();
    search.clear_tv_and_radio_items = [channels] {
        EM_ChannelList* list = channels->list_window();
        if (list == nullptr) return;
        list->list_of(settings::kWatchKindTv)->clear();
        list->list_of(settings::kWatchKindRadio)->clear();
    };
    search.channel_search_running = [channels] { return channels->search().searching(); };
    manual_search_ = std::make_unique<ManualSearch>(search);
    manual_search_window_ = new CManualSearch(main_window_, *manual_search_);
}

PlayerDialogs::~PlayerDialogs() {
    // The worker ends first; the window goes before the main window does.
    manual_search_->WaitForWorker();
    delete manual_search_window_.data();
}

OptionsModel::Effects PlayerDialogs::RealEffects(const OptionsModel::Effects& given) {
    OptionsModel::Effects effects = given;
    if (!effects.set_top_most) {
        effects.set_top_most = [window = main_window_](bool on) {
            // On the shown window itself: setWindowFlag would make the window anew (hidden,
            // and a new native window), which the platform need not place where it was.
            Qt::WindowFlags flags = window->windowFlags();
            flags.setFlag(Qt::WindowStaysOnTopHint, on);
            window->overrideWindowFlags(flags);
            if (QWindow* handle = window->windowHandle()) handle->setFlags(flags);
        };
    }
    if (!effects.set_car_mode) {
        effects.set_car_mode = [](bool on) {
            if (on) {
                BB_SetCarMode();
            } else {
                BB_UnsetCarMode();
            }
        };
    }
    if (!effects.set_time_shift) {
        effects.set_time_shift = [](const std::string& cache_file, uint32_t minutes) {
            SetTimeShiftParams(cache_file.c_str(), minutes);
        };
    }
    if (!effects.later) {
        effects.later = [controller = &controller_](int ms, std::function<void()> f) {
            QTimer::singleShot(ms, controller, std::move(f));
        };
    }
    return effects;
}

void PlayerDialogs::RunModal(QDialog& dialog) {
    controller_.set_dialog_open(true);
    M4_LOG(2, kSource, "dialog %s opened", qPrintable(dialog.objectName()));
    dialog.exec();
    M4_LOG(2, kSource, "dialog %s closed", qPrintable(dialog.objectName()));
    controller_.set_dialog_open(false);
    controller_.view().TakeFocus();
}

void PlayerDialogs::OptionsDialog() {
    OptionDlg dialog(main_window_, controller_, options_, folder_chooser_);
    RunModal(dialog);
}

void PlayerDialogs::ShortcutListDialog() {
    ShortcutListDlg dialog(main_window_, controller_.language());
    RunModal(dialog);
}

void PlayerDialogs::InformationDialog() {
    ProgramInformationDlg dialog(main_window_, controller_.language());
    RunModal(dialog);
}

void PlayerDialogs::ShowManualSearch() {
    if (manual_search_window_ == nullptr) return;
    M4_LOG(2, kSource, "manual search window shown");
    // After the key that showed it: the main window takes the focus back when a key is done.
    QTimer::singleShot(0, manual_search_window_, [window = manual_search_window_] {
        if (window != nullptr) window->ShowWindow();
    });
}

}  // namespace koru::player
