/* Threads and mutexes of the terminal. */
#ifndef M4SYSTEMS_THREAD_H
#define M4SYSTEMS_THREAD_H

#include "m4systems/m4_types.h"

M4_EXTERN_C_BEGIN

typedef struct M4Thread M4Thread;
typedef uint32_t (*M4ThreadRun)(void* param);

/* A thread object; name is used in logs and as the system thread name (may be null). */
M4_API M4Thread* NewThread(const char* name);
/* Starts run(param) on a new thread. M4OK, or M4BadParam when already started. */
M4_API M4Err TH_Run(M4Thread* th, M4ThreadRun run, void* param);
/* 1 (lowest) to 9 (highest); 5 is normal. Applied as a nice value where the system allows. */
M4_API void TH_SetPriority(M4Thread* th, int priority);
/* 1 while the thread function runs. */
M4_API int TH_IsRunning(M4Thread* th);
/* Waits for the thread function to return, then frees the object. Null is accepted. */
M4_API void TH_Delete(M4Thread* th);
/* The forced end. A thread cannot be killed safely on this system, so the thread is detached
 * and left to finish on its own; the object is freed when it does. The caller must not free
 * anything the thread still uses. Logged at error level. Null is accepted. */
M4_API void TH_Destroy(M4Thread* th);

typedef struct M4Mutex M4Mutex;
M4_API M4Mutex* NewMutex(void);
M4_API void MX_Lock(M4Mutex* mx);
M4_API void MX_Unlock(M4Mutex* mx);
M4_API void MX_Delete(M4Mutex* mx);

M4_EXTERN_C_END

#endif
