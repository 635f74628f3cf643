// The channel windows over the player's real core (event window thread, message window,
// controller) with a scripted DMB_API_SearchChannel in place of the plug-in's: what each call
// answers, and the frequencies and time limits it was asked for.
#ifndef KORU_TESTS_GUI_CHANNEL_HARNESS_H
#define KORU_TESTS_GUI_CHANNEL_HARNESS_H

#include <QStringList>
#include <QTreeWidget>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "player/channels/channel_dialogs.h"
#include "player_fakes.h"
#include "support/environment.h"

namespace koru::test {

using namespace koru::player;

// What the scripted search answers per call, and what it saw.
struct Script {
    struct Answer {
        Answer(int result, std::vector<ServiceEntry> entries, std::function<void()> during = {})
            : result(result), entries(std::move(entries)), during(std::move(during)) {}
        int result = 0;
        std::vector<ServiceEntry> entries;
        std::function<void()> during;  // runs inside the call (on the worker)
    };
    std::deque<Answer> answers;
    std::vector<double> frequencies;
    std::vector<int> time_limits;
    std::atomic<int> calls{0};  // counted last: poll this one while a search runs
};
inline Script* g_script = nullptr;

inline int32_t ScriptedSearch(double mhz, ServiceEntry* entries, int32_t* count,
                              int32_t time_limit) {
    g_script->frequencies.push_back(mhz);
    g_script->time_limits.push_back(time_limit);
    ++g_script->calls;
    *count = 0;
    if (g_script->answers.empty()) return BB_ERR_NOT_LOCKED;
    Script::Answer answer = g_script->answers.front();
    g_script->answers.pop_front();
    if (answer.during) answer.during();
    for (const ServiceEntry& entry : answer.entries)
        entries[(*count)++] = entry;
    return answer.result;
}

inline ServiceEntry Service(const char* label, double mhz, int index, int kind) {
    ServiceEntry entry{};
    std::memcpy(entry.label, label, std::min(std::strlen(label), sizeof(entry.label)));
    entry.frequency = mhz;
    entry.service_index = index;
    entry.kind = kind;
    return entry;
}

// The core, a main window stand-in and the two channel windows on the default skin.
struct ChannelHarness {
    ChannelHarness() {
        g_script = &script;
        layout.LoadLayout((koru::test::BinDir() / "Koru Digital.lay").string());
        main_window.move(100, 100);
        ChannelDialogs::Dependencies dependencies;
        dependencies.main_window = &main_window;
        dependencies.skin = &skin;
        dependencies.search.controller = core.controller.get();
        dependencies.search.event_window = core.events.window();
        dependencies.search.find_search_function = [this]() -> DMB_API_SearchChannelFn {
            return plugin_present ? &ScriptedSearch : nullptr;
        };
        dialogs = std::make_unique<ChannelDialogs>(dependencies);
        core.controller->SetChannelWindows(dialogs.get());
        core.state.WithStore([](settings::ChannelStore& store) { store.language = 1; });
    }
    ~ChannelHarness() {
        core.controller->SetChannelWindows(nullptr);
        dialogs.reset();
        g_script = nullptr;
    }
    bool WaitForSearchEnd(int timeout_ms = 5000) {
        // The tune that follows a search makes the activity 3.
        return CoreHarness::WaitFor([&] { return !dialogs->search().searching(); }, timeout_ms) &&
               CoreHarness::WaitFor(
                   [&] { return core.state.activity.load() != kActivitySearching; }, timeout_ms);
    }
    QStringList Items(QTreeWidget* list) const {
        QStringList items;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            items << list->topLevelItem(i)->text(0);
        return items;
    }
    size_t Connects() const { return core.terminal.CallsNamed("ConnectURL").size(); }

    CoreHarness core;
    Script script;
    koru::skin::SkinLayout layout;
    koru::skin::QtSkin skin{layout};
    QWidget main_window;
    bool plugin_present = true;
    std::unique_ptr<ChannelDialogs> dialogs;
};

}  // namespace koru::test

#endif
