#include "player/core/player_state.h"

namespace koru::player {

settings::ChannelList& ListOf(settings::ChannelStore& store, int watch_kind) {
    if (watch_kind == settings::kWatchKindRadio) return store.radio;
    if (watch_kind == settings::kWatchKindData) return store.data;
    return store.tv;
}

const settings::ChannelList& ListOf(const settings::ChannelStore& store, int watch_kind) {
    return ListOf(const_cast<settings::ChannelStore&>(store), watch_kind);
}

int& CurrentIndexOf(settings::ChannelStore& store, int watch_kind) {
    if (watch_kind == settings::kWatchKindRadio) return store.current_radio;
    if (watch_kind == settings::kWatchKindData) return store.current_data;
    return store.current_tv;
}

void PlayerState::SetUrl(const std::string& url) {
    std::lock_guard lock(url_mutex_);
    url_ = url.substr(0, kUrlBufferSize - 1);
}

std::string PlayerState::Url() const {
    std::lock_guard lock(url_mutex_);
    return url_;
}

int PlayerState::WatchKind() const {
    std::lock_guard lock(store_mutex_);
    return store_.watch_kind;
}

void PlayerState::SetWatchKind(int watch_kind) {
    std::lock_guard lock(store_mutex_);
    store_.watch_kind = watch_kind;
}

int PlayerState::Language() const {
    std::lock_guard lock(store_mutex_);
    return store_.language;
}

void PlayerState::SetLanguage(int language) {
    std::lock_guard lock(store_mutex_);
    store_.language = language;
}

int PlayerState::ChannelCount(int watch_kind) const {
    std::lock_guard lock(store_mutex_);
    return ListOf(store_, watch_kind).count;
}

int PlayerState::CurrentIndex(int watch_kind) const {
    std::lock_guard lock(store_mutex_);
    return CurrentIndexOf(store_, watch_kind);
}

void PlayerState::SetCurrentIndex(int watch_kind, int index) {
    std::lock_guard lock(store_mutex_);
    CurrentIndexOf(store_, watch_kind) = index;
}

std::optional<settings::ChannelEntry> PlayerState::Channel(int watch_kind, int index) const {
    std::lock_guard lock(store_mutex_);
    const settings::ChannelList& list = ListOf(store_, watch_kind);
    if (index < 0 || index >= list.count || index >= settings::kMaxChannels) return std::nullopt;
    return list.entries[static_cast<size_t>(index)];
}

void PlayerState::WithStore(const std::function<void(settings::ChannelStore&)>& f) {
    std::lock_guard lock(store_mutex_);
    f(store_);
}

void PlayerState::WithStore(const std::function<void(const settings::ChannelStore&)>& f) const {
    std::lock_guard lock(store_mutex_);
    f(store_);
}

}  // namespace koru::player
