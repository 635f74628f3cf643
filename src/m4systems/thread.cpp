#include "m4systems/thread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "m4systems/log.h"

namespace {

constexpr const char* kSource = "thread";

// Shared between the handle and the running thread, so a detached thread keeps it alive.
struct ThreadState {
    std::string name;
    std::atomic<bool> running{false};
    std::atomic<pid_t> tid{0};
    std::atomic<int> priority{5};
};

// 5 is normal; each step is two nice levels. Raising priority needs privileges and quietly
// stays at normal without them.
void ApplyPriority(pid_t tid, int priority) {
    if (tid == 0) return;
    int nice_value = (5 - priority) * 2;
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice_value) != 0) {
        M4_LOG(3, kSource, "thread priority %d not applied", priority);
    }
}

}  // namespace

struct M4Thread {
    std::shared_ptr<ThreadState> state = std::make_shared<ThreadState>();
    std::thread thread;
};

M4Thread* NewThread(const char* name) {
    auto* th = new M4Thread;
    th->state->name = name != nullptr ? name : "";
    return th;
}

M4Err TH_Run(M4Thread* th, M4ThreadRun run, void* param) {
    if (th == nullptr || run == nullptr || th->thread.joinable()) return M4BadParam;
    std::shared_ptr<ThreadState> state = th->state;
    state->running = true;
    th->thread = std::thread([state, run, param] {
        state->tid = static_cast<pid_t>(syscall(SYS_gettid));
        if (!state->name.empty()) {
            pthread_setname_np(pthread_self(), state->name.substr(0, 15).c_str());
        }
        ApplyPriority(state->tid, state->priority);
        run(param);
        state->running = false;
    });
    return M4OK;
}

void TH_SetPriority(M4Thread* th, int priority) {
    if (th == nullptr) return;
    if (priority < 1) priority = 1;
    if (priority > 9) priority = 9;
    th->state->priority = priority;
    ApplyPriority(th->state->tid, priority);
}

int TH_IsRunning(M4Thread* th) {
    return th != nullptr && th->state->running ? 1 : 0;
}

void TH_Delete(M4Thread* th) {
    if (th == nullptr) return;
    if (th->thread.joinable()) {
        if (th->thread.get_id() == std::this_thread::get_id()) {
            th->thread.detach();  // a thread deleting its own handle cannot wait for itself
        } else {
            th->thread.join();
        }
    }
    delete th;
}

void TH_Destroy(M4Thread* th) {
    if (th == nullptr) return;
    if (th->state->running) {
        M4_LOG(1, kSource, "thread %s left running on its own (cannot be killed safely)",
               th->state->name.c_str());
    }
    if (th->thread.joinable()) th->thread.detach();
    delete th;
}

struct M4Mutex {
    std::recursive_mutex mutex;
};

M4Mutex* NewMutex(void) {
    return new M4Mutex;
}

void MX_Lock(M4Mutex* mx) {
    if (mx != nullptr) mx->mutex.lock();
}

void MX_Unlock(M4Mutex* mx) {
    if (mx != nullptr) mx->mutex.unlock();
}

void MX_Delete(M4Mutex* mx) {
    delete mx;
}
