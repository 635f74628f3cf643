/* Plug-ins: shared objects in the plug-in folder exporting, with C linkage,
 *     uint32_t QueryInterface(uint32_t interface_type);   1 when the type is offered
 *     void*    LoadInterface(uint32_t interface_type);    a new interface object, or null
 *     void     ShutdownInterface(void* object);           frees an object of LoadInterface
 * The manager opens every "*.so" of its folder; a file without these exports, or one that
 * cannot be opened, is skipped with a log line. */
#ifndef M4SYSTEMS_PLUGIN_H
#define M4SYSTEMS_PLUGIN_H

#include "m4systems/inifile.h"
#include "m4systems/m4_types.h"

M4_EXTERN_C_BEGIN

/* Interface type of the terminal's streaming clients; the player asks every plug-in for it at
 * start-up. */
#define M4_STREAMING_CLIENT_INTERFACE 0x4D535452u /* 'MSTR' */
/* Interface type of a live input service (the object below). */
#define M4_INPUT_SERVICE_INTERFACE 0x4D444E4Cu /* 'MDNL' */

typedef uint32_t (*M4QueryInterfaceFn)(uint32_t interface_type);
typedef void* (*M4LoadInterfaceFn)(uint32_t interface_type);
typedef void (*M4ShutdownInterfaceFn)(void* object);

/* A live input service. The fields keep the order of the original 32-bit record; here every
 * field is pointer-sized. The plug-in fills everything but deliver_data, which the terminal
 * sets before connect, and terminal_private, which belongs to the terminal. */
typedef struct M4InputService M4InputService;
struct M4InputService {
    uint32_t interface_id;                                                    /* 1 */
    const char* module_name;                                                  /* 2 */
    const char* author;                                                       /* 3 */
    uint32_t version;                                                         /* 4 */
    void* reserved5;                                                          /* 5 */
    int32_t (*CanHandleURL)(M4InputService* self, const char* url);           /* 6 */
    int32_t (*Operation7)(M4InputService* self);                              /* 7 */
    int32_t (*Connect)(M4InputService* self, const char* url, int32_t value); /* 8 */
    int32_t (*Close)(M4InputService* self);                                   /* 9 */
    int32_t (*Operation10)(M4InputService* self);                             /* 10 */
    int32_t (*Operation11)(M4InputService* self);                             /* 11 */
    void* reserved12;                                                         /* 12 */
    void* reserved13;                                                         /* 13 */
    void* reserved14;                                                         /* 14 */
    int32_t status;   /* 15: 5 idle, 2 connecting, 3 connected */
    void* reserved16; /* 16 */
    void* reserved17; /* 17 */
    void (*DeliverData)(M4InputService* self, const uint8_t* data, uint32_t length);     /* 18 */
    void* terminal_private;                                                              /* 19 */
    int32_t (*ServiceCommand)(M4InputService* self, int32_t command, int32_t parameter); /* 20 */
    void* context;                                                                       /* 21 */
};

typedef struct PluginManager PluginManager;

/* Opens the plug-ins of folder. Null when the folder does not exist. ini may be null. */
M4_API PluginManager* NewPluginManager(const char* folder, IniFile* ini);
M4_API uint32_t PM_GetPluginsCount(PluginManager* pm);
/* Loads interface_type from plug-in index. 1 and a non-null *out on success, else 0. */
M4_API int PM_LoadInterface(PluginManager* pm, uint32_t index, uint32_t interface_type, void** out);
/* Hands an object of PM_LoadInterface back to the plug-in that made it. 1 on success. */
M4_API int PM_ShutdownInterface(PluginManager* pm, void* object);
/* A symbol of the plug-in whose file name is module (with or without "lib" and ".so"), or
 * null. */
M4_API void* PM_GetProcAddress(PluginManager* pm, const char* module, const char* symbol);
/* The plug-in's file name without folder, or null for a bad index. */
M4_API const char* PM_GetPluginName(PluginManager* pm, uint32_t index);
/* Shuts down objects still loaded, closes the plug-ins. Null is accepted. */
M4_API void PM_Delete(PluginManager* pm);

M4_EXTERN_C_END

#endif
