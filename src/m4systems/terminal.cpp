#include "m4systems/terminal.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "m4systems/log.h"

namespace {

constexpr const char* kSource = "terminal";

// Where M4T_SendMessage goes: the message function of a live terminal, or the hook.
struct MessageTarget {
    void* owner;
    void (*function)(void* owner, uint32_t message, M4Param wparam, M4Param lparam);
};

struct MessageRoutes {
    std::mutex mutex;
    std::vector<std::pair<const M4Term*, MessageTarget>> terminals;  // newest last
    M4MessageHook hook = nullptr;
    void* hook_user = nullptr;
};

MessageRoutes& Routes() {
    static MessageRoutes routes;
    return routes;
}

}  // namespace

struct M4Term {
    M4User user;
};

M4Term* NewMPEG4Term(const M4User* user) {
    if (user == nullptr || user->MessageFunc == nullptr) return nullptr;
    auto* term = new M4Term{*user};
    MessageRoutes& routes = Routes();
    std::lock_guard lock(routes.mutex);
    routes.terminals.emplace_back(term, MessageTarget{user->owner, user->MessageFunc});
    return term;
}

void M4T_Delete(M4Term* term) {
    if (term == nullptr) return;
    {
        MessageRoutes& routes = Routes();
        std::lock_guard lock(routes.mutex);
        std::erase_if(routes.terminals, [term](const auto& entry) { return entry.first == term; });
    }
    delete term;
}

void M4T_SendMessage(uint32_t message, M4Param wparam, M4Param lparam) {
    MessageRoutes& routes = Routes();
    MessageTarget target{nullptr, nullptr};
    M4MessageHook hook = nullptr;
    void* hook_user = nullptr;
    {
        std::lock_guard lock(routes.mutex);
        if (!routes.terminals.empty()) target = routes.terminals.back().second;
        hook = routes.hook;
        hook_user = routes.hook_user;
    }
    // Called outside the lock: the receiver may send messages of its own.
    if (target.function != nullptr) {
        target.function(target.owner, message, wparam, lparam);
    } else if (hook != nullptr) {
        hook(hook_user, message, wparam, lparam);
    } else {
        M4_LOG(3, kSource, "message %u dropped: no terminal", message);
    }
}

void M4_SetMessageHook(M4MessageHook hook, void* user) {
    MessageRoutes& routes = Routes();
    std::lock_guard lock(routes.mutex);
    routes.hook = hook;
    routes.hook_user = user;
}
