/* The receiver plug-in's calls for direct use by the player and tools (C linkage).
 * Strings and records are written into buffers that the caller owns. */
#ifndef RXMOD_RXMOD_API_H
#define RXMOD_RXMOD_API_H

#include <stdint.h>

#include "rxmod/bb_err.h"

#ifdef __cplusplus
extern "C" {
#endif

#define RXMOD_API __attribute__((visibility("default")))

/* ServiceKind: what a found service is. */
#define SERVICE_KIND_TV 0
#define SERVICE_KIND_RADIO 1
#define SERVICE_KIND_TPEG 2
#define SERVICE_KIND_DATA 3
#define SERVICE_KIND_OTHER 999

/* One service found by a channel search, 48 bytes. */
typedef struct ServiceEntry {
    char label[17];        /* 16 characters and a NUL */
    char unused[15];       /* not written */
    double frequency;      /* MHz, as passed to the search */
    int32_t service_index; /* index into the ensemble's services (0 to 63), for "bbu://" */
    int32_t kind;          /* ServiceKind */
} ServiceEntry;

#define DMB_MAX_SERVICES 64

/* Chooses the USB library: writes 1 (SiUSBXp) or 0 (KoruDmbMS) into *flag and returns it. */
RXMOD_API int32_t BB_API_GetUSBApi(int32_t* flag);

/* Writes the model name of the stick last identified into name, without a terminating NUL,
 * and its length into *length. The player passes a zeroed buffer of 32 bytes. */
RXMOD_API void BB_API_GetHWName(char* name, uint32_t* length);

/* Car mode of the ITD tuner on and off; takes effect at the next tune. Result 0. */
RXMOD_API int32_t BB_SetCarMode(void);
RXMOD_API int32_t BB_UnsetCarMode(void);

/* Searches one frequency (MHz): tunes, reads the ensemble's service list for at most
 * time_limit_ms and writes up to 64 entries. 0 with *count >= 1, BB_ERR_NO_SERVICE_FOUND,
 * BB_ERR_NOT_LOCKED (no ensemble), BB_ERR_NO_DEVICE, or -1 for any other failure.
 * Updates the channel cache "channel.dat" in the current folder when services were found. */
RXMOD_API int32_t DMB_API_SearchChannel(double frequency, ServiceEntry* entries, int32_t* count,
                                        int32_t time_limit_ms);
typedef int32_t (*DMB_API_SearchChannelFn)(double, ServiceEntry*, int32_t*, int32_t);

/* The label of the ensemble on frequency_khz as the channel cache "channel.dat" in the current
 * folder holds it: UTF-8 (converted from the broadcast's EBU Latin) without trailing blanks,
 * NUL-terminated, cut to fit size bytes. 0, or BB_ERR_NO_CHANNEL (label empty) when the cache
 * holds no ensemble on that frequency. It reads the file, never the plug-in's working state, so
 * any thread may call it at any time. */
RXMOD_API int32_t BB_API_GetEnsembleLabel(int32_t frequency_khz, char* label, uint32_t size);

/* The terminal's plug-in interface. The receiver offers one interface, a live input service
 * (M4InputService of m4systems/plugin.h) for "bbu://" URLs, under the id RXMOD_INTERFACE_ID.
 *   QueryInterface: 1 for RXMOD_INTERFACE_ID, else 0.
 *   LoadInterface: a new service object for that id (idle, status 5), else null.
 *   ShutdownInterface: frees an object of LoadInterface; one still connected is closed first,
 *     and one whose download thread outlived its close is freed by that thread when it ends. */
#define RXMOD_INTERFACE_ID 0x4D444E4Cu /* 'MDNL' */
RXMOD_API uint32_t QueryInterface(uint32_t interface_id);
RXMOD_API void* LoadInterface(uint32_t interface_id);
RXMOD_API void ShutdownInterface(void* object);

/* The folder under which MOT objects of data services are written, the names they carry
 * appended as they are (so it ends with "/"); at most 255 characters. Returns its length + 1,
 * or 0 (path kept as it was) for null or a longer path. Message 1247 (WM_SYSTEM_MOT_DIR_TIME)
 * carries in wparam a pointer to this path joined with the start page's name (owned by the
 * plug-in: the text stays unchanged until 16 further directories came; copy it on receipt) and
 * in lparam the carousel period in tenths of a second. */
RXMOD_API int32_t SetMOTBodyPath(const char* path);

#ifdef __cplusplus
}
#endif

#endif
