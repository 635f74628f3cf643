/* Logging. A line is printed in two calls:
 *     if (log_do_i_log_n_print_prefix(2, "bb_if", __LINE__) > 0) log_printf_nl("text %d", v);
 * Level 1 errors, 2 traces, 3 detail. The level comes from the environment variable
 * KORU_LOG_LEVEL, else from "General"/"LogLevel" of the ini file the player opens, else 1.
 * Lines go to standard error, prefixed with the source name. log_debug_out always writes, to
 * the debug output: the file named by KORU_DEBUG_LOG, when set. */
#ifndef M4SYSTEMS_LOG_H
#define M4SYSTEMS_LOG_H

#include "m4systems/m4_types.h"

M4_EXTERN_C_BEGIN

/* Returns 1 when a line of this level is printed (the next log_printf_nl of this thread
 * carries the prefix), else 0. */
M4_API int log_do_i_log_n_print_prefix(int level, const char* source, int line);
/* Prints the formatted text after the pending prefix, ending it with one newline. */
M4_API void log_printf_nl(const char* format, ...) __attribute__((format(printf, 1, 2)));
/* Writes the formatted text to the debug output whatever the level. */
M4_API void log_debug_out(const char* format, ...) __attribute__((format(printf, 1, 2)));

M4_API void M4_SetLogLevel(int level);
M4_API int M4_GetLogLevel(void);

/* Observes every printed line and every debug line (tests use it). channel is 0 for the log,
 * 1 for the debug output; the text has no trailing newline. Null removes the sink. */
typedef void (*M4LogSink)(void* user, int channel, int level, const char* source, const char* text);
M4_API void M4_SetLogSink(M4LogSink sink, void* user);

M4_EXTERN_C_END

/* Shorthand used inside the project: M4_LOG(2, "bb_if", "text %d", v). */
#define M4_LOG(level, source, ...)                                        \
    do {                                                                  \
        if (log_do_i_log_n_print_prefix((level), (source), __LINE__) > 0) \
            log_printf_nl(__VA_ARGS__);                                   \
    } while (0)

#endif
