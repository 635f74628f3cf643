// A terminal for the plug-in's stream tests: the real plug-in manager loads the plug-ins of
// build/bin, a terminal made with NewMPEG4Term receives every message, and the service object's
// deliver-data operation records the bytes. Log lines are recorded too. Everything it records
// is safe to read while the download thread runs.
#ifndef KORU_TESTS_INTEGRATION_STREAM_TEST_TERMINAL_H
#define KORU_TESTS_INTEGRATION_STREAM_TEST_TERMINAL_H

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "m4systems/clock.h"
#include "m4systems/log.h"
#include "m4systems/messages.h"
#include "m4systems/plugin.h"
#include "m4systems/terminal.h"
#include "support/environment.h"

namespace koru::test {

struct Message {
    uint32_t code = 0;
    M4Param wparam = 0;
    M4Param lparam = 0;
    uint32_t at_ms = 0;  // terminal clock
    std::string path;    // 1247: the text wparam points at, copied on receipt
};

class TestTerminal {
  public:
    TestTerminal() {
        plugins_ = NewPluginManager(BinDir().c_str(), nullptr);
        M4User user{};
        user.owner = this;
        user.MessageFunc = &TestTerminal::OnMessage;
        user.plugins = plugins_;
        term_ = NewMPEG4Term(&user);
        M4_SetLogSink(&TestTerminal::OnLog, this);
    }

    ~TestTerminal() {
        Shutdown();
        M4_SetLogSink(nullptr, nullptr);
        M4T_Delete(term_);
        PM_Delete(plugins_);
    }

    TestTerminal(const TestTerminal&) = delete;
    TestTerminal& operator=(const TestTerminal&) = delete;

    bool ready() const { return plugins_ != nullptr && term_ != nullptr; }

    template <typename Function>
    Function Export(const char* symbol) {
        return reinterpret_cast<Function>(PM_GetProcAddress(plugins_, "rxmod", symbol));
    }

    // Loads the input service of the plug-in that claims url (as the terminal does), sets the
    // deliver-data operation and connects. The plug-in's result, or -1 when none claims it.
    int Connect(const std::string& url) {
        Shutdown();
        for (uint32_t i = 0; i < PM_GetPluginsCount(plugins_) && service_ == nullptr; ++i) {
            void* object = nullptr;
            if (!PM_LoadInterface(plugins_, i, M4_INPUT_SERVICE_INTERFACE, &object)) continue;
            auto* candidate = static_cast<M4InputService*>(object);
            if (candidate->CanHandleURL(candidate, url.c_str()) != 0) {
                service_ = candidate;
            } else {
                PM_ShutdownInterface(plugins_, object);
            }
        }
        if (service_ == nullptr) return -1;
        service_->terminal_private = this;
        service_->DeliverData = &TestTerminal::OnData;
        return service_->Connect(service_, url.c_str(), 0);
    }

    // Closes the service; the terminal clock milliseconds it took.
    uint32_t Close() {
        if (service_ == nullptr) return 0;
        const uint32_t start = M4_GetSysClock();
        service_->Close(service_);
        return M4_GetSysClock() - start;
    }

    void Shutdown() {
        if (service_ == nullptr) return;
        Close();
        PM_ShutdownInterface(plugins_, service_);
        service_ = nullptr;
    }

    M4InputService* service() const { return service_; }

    // Waits (real time, at most timeout_ms) until done() holds; done runs under the lock.
    bool WaitUntil(const std::function<bool()>& done, int timeout_ms = 60000) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), done);
    }

    // Under the lock (for WaitUntil's predicates) or from the test after the thread ended.
    const std::vector<Message>& messages_locked() const { return messages_; }
    size_t delivered_locked() const { return bytes_.size(); }

    std::vector<Message> Messages() {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    std::vector<uint8_t> Delivered() {
        std::lock_guard lock(mutex_);
        return bytes_;
    }
    size_t DeliveredSize() {
        std::lock_guard lock(mutex_);
        return bytes_.size();
    }
    std::vector<std::string> Logs() {
        std::lock_guard lock(mutex_);
        return logs_;
    }
    void ClearRecords() {
        std::lock_guard lock(mutex_);
        messages_.clear();
        bytes_.clear();
        logs_.clear();
    }

    size_t CountLocked(uint32_t code) const {
        size_t n = 0;
        for (const Message& m : messages_)
            n += m.code == code ? 1 : 0;
        return n;
    }
    bool LoggedLocked(const std::string& text) const {
        for (const std::string& line : logs_) {
            if (line == text) return true;
        }
        return false;
    }

  private:
    static void OnMessage(void* owner, uint32_t code, M4Param wparam, M4Param lparam) {
        auto* self = static_cast<TestTerminal*>(owner);
        Message message{code, wparam, lparam, M4_GetSysClock(), {}};
        if (code == WM_SYSTEM_MOT_DIR_TIME && wparam != 0) {
            message.path = reinterpret_cast<const char*>(wparam);
        }
        std::lock_guard lock(self->mutex_);
        self->messages_.push_back(message);
        self->changed_.notify_all();
    }

    static void OnData(M4InputService* service, const uint8_t* data, uint32_t length) {
        auto* self = static_cast<TestTerminal*>(service->terminal_private);
        std::lock_guard lock(self->mutex_);
        self->bytes_.insert(self->bytes_.end(), data, data + length);
        self->changed_.notify_all();
    }

    static void OnLog(void* user, int channel, int, const char* source, const char* text) {
        if (channel != 0 || std::strcmp(source, "rxmod") != 0) return;
        auto* self = static_cast<TestTerminal*>(user);
        std::lock_guard lock(self->mutex_);
        self->logs_.emplace_back(text);
        self->changed_.notify_all();
    }

    PluginManager* plugins_ = nullptr;
    M4Term* term_ = nullptr;
    M4InputService* service_ = nullptr;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Message> messages_;
    std::vector<uint8_t> bytes_;
    std::vector<std::string> logs_;
};

}  // namespace koru::test

#endif
