/* The multimedia terminal: created with the player's user record, it reports every status
 * (codes 1124 to 1248, see messages.h) through the record's message function. */
#ifndef M4SYSTEMS_TERMINAL_H
#define M4SYSTEMS_TERMINAL_H

#include "m4systems/inifile.h"
#include "m4systems/m4_types.h"
#include "m4systems/plugin.h"

M4_EXTERN_C_BEGIN

typedef struct M4VideoOutput M4VideoOutput;

/* The user record, eight words. */
typedef struct M4User {
    void* owner;
    /* Gets the owner and an event whose first byte is its type. */
    int (*EventProc)(void* owner, const uint8_t* event);
    void* reserved2;
    /* Gets every status message; the player posts it on unchanged. Called from any thread. */
    void (*MessageFunc)(void* owner, uint32_t message, M4Param wparam, M4Param lparam);
    IniFile* config;
    PluginManager* plugins;
    M4VideoOutput* video;
    void* reserved7;
} M4User;

typedef struct M4Term M4Term;

/* Null when user is null or lacks its message function. */
M4_API M4Term* NewMPEG4Term(const M4User* user);
M4_API void M4T_Delete(M4Term* term);

/* Sends a status message to the player through the message function of the newest terminal
 * alive. Without a terminal the message goes to the process's message hook (below), if any,
 * and is otherwise dropped with a detail-level log line. Safe from any thread. */
M4_API void M4T_SendMessage(uint32_t message, M4Param wparam, M4Param lparam);

/* Receives messages sent while no terminal exists (headless tools). Null removes it. */
typedef void (*M4MessageHook)(void* user, uint32_t message, M4Param wparam, M4Param lparam);
M4_API void M4_SetMessageHook(M4MessageHook hook, void* user);

M4_EXTERN_C_END

#endif
