#include "m4systems/log.h"

#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace {

int InitialLevel() {
    const char* text = std::getenv("KORU_LOG_LEVEL");
    return text != nullptr ? std::atoi(text) : 1;
}

std::atomic<int> g_level{InitialLevel()};

struct Sink {
    std::mutex mutex;  // guards the fields below and serialises whole lines
    M4LogSink callback = nullptr;
    void* user = nullptr;
};

Sink& TheSink() {
    static Sink sink;
    return sink;
}

struct PendingPrefix {
    bool armed = false;
    int level = 0;
    std::string source;
    int line = 0;
};

thread_local PendingPrefix t_pending;

std::string Format(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed <= 0) return {};
    std::string text(static_cast<size_t>(needed), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    return text;
}

std::string WithoutTrailingNewlines(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

void Deliver(int channel, int level, const std::string& source, const std::string& text) {
    Sink& sink = TheSink();
    M4LogSink callback;
    void* user;
    {
        std::lock_guard lock(sink.mutex);
        callback = sink.callback;
        user = sink.user;
    }
    if (callback != nullptr) callback(user, channel, level, source.c_str(), text.c_str());
}

void WriteLine(FILE* file, const std::string& line) {
    std::lock_guard lock(TheSink().mutex);
    std::fwrite(line.data(), 1, line.size(), file);
    std::fflush(file);
}

}  // namespace

int log_do_i_log_n_print_prefix(int level, const char* source, int line) {
    if (level > g_level.load(std::memory_order_relaxed)) {
        t_pending.armed = false;
        return 0;
    }
    t_pending.armed = true;
    t_pending.level = level;
    t_pending.source = source != nullptr ? source : "?";
    t_pending.line = line;
    return 1;
}

void log_printf_nl(const char* format, ...) {
    if (format == nullptr) return;
    va_list args;
    va_start(args, format);
    std::string text = WithoutTrailingNewlines(Format(format, args));
    va_end(args);
    PendingPrefix pending = t_pending;
    t_pending.armed = false;
    if (!pending.armed) pending.source = "log";
    WriteLine(stderr, pending.source + ": " + text + "\n");
    Deliver(0, pending.level, pending.source, text);
}

void log_debug_out(const char* format, ...) {
    if (format == nullptr) return;
    va_list args;
    va_start(args, format);
    std::string text = WithoutTrailingNewlines(Format(format, args));
    va_end(args);
    if (const char* path = std::getenv("KORU_DEBUG_LOG"); path != nullptr && *path != '\0') {
        if (FILE* file = std::fopen(path, "a")) {
            WriteLine(file, text + "\n");
            std::fclose(file);
        }
    }
    Deliver(1, 0, "", text);
}

void M4_SetLogLevel(int level) {
    g_level.store(level);
}

int M4_GetLogLevel(void) {
    return g_level.load();
}

void M4_SetLogSink(M4LogSink sink, void* user) {
    Sink& target = TheSink();
    std::lock_guard lock(target.mutex);
    target.callback = sink;
    target.user = user;
}
