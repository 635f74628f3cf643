/* Status and request messages shared by the terminal, the receiver plug-in and the player.
 * Every code is WM_USER + n; the player's message function receives them unchanged. */
#ifndef M4SYSTEMS_MESSAGES_H
#define M4SYSTEMS_MESSAGES_H

#include "m4systems/m4_types.h"

#define WM_USER 1024

#define WM_SYSTEM_RECONNECT (WM_USER + 100)          /* 1124 */
#define WM_SYSTEM_STOP (WM_USER + 101)               /* 1125 */
#define WM_SYSTEM_OPEN_DIALOG (WM_USER + 102)        /* 1126 */
#define WM_SYSTEM_TUNE_IF_PRESENT (WM_USER + 103)    /* 1127 */
#define WM_SYSTEM_TUNE_IF_IDLE (WM_USER + 104)       /* 1128 */
#define WM_SYSTEM_TUNE (WM_USER + 105)               /* 1129 */
#define WM_SYSTEM_RECORD (WM_USER + 106)             /* 1130 */
#define WM_SYSTEM_CONNECT (WM_USER + 107)            /* 1131 */
#define WM_SYSTEM_CLOSE (WM_USER + 108)              /* 1132 */
#define WM_SYSTEM_VOLUME (WM_USER + 109)             /* 1133 */
#define WM_SYSTEM_UNNAMED_110 (WM_USER + 110)        /* 1134, no effect */
#define WM_SYSTEM_UNNAMED_111 (WM_USER + 111)        /* 1135, no effect */
#define WM_SYSTEM_VIDEO_SIZE (WM_USER + 112)         /* 1136 */
#define WM_SYSTEM_RESUME (WM_USER + 113)             /* 1137 */
#define WM_SYSTEM_PAUSE (WM_USER + 114)              /* 1138 */
#define WM_SYSTEM_OPEN_FILE (WM_USER + 115)          /* 1139 */
#define WM_SYSTEM_EXIT (WM_USER + 120)               /* 1144 */
#define WM_SYSTEM_SAME_CHANNEL (WM_USER + 121)       /* 1145 */
#define WM_SYSTEM_WEAK_SIGNAL (WM_USER + 200)        /* 1224 */
#define WM_SYSTEM_RECEIVING (WM_USER + 201)          /* 1225 */
#define WM_SYSTEM_FIRST_FRAME (WM_USER + 202)        /* 1226 */
#define WM_SYSTEM_SIGNAL_LOST (WM_USER + 203)        /* 1227 */
#define WM_SYSTEM_USB_LOST (WM_USER + 204)           /* 1228 */
#define WM_SYSTEM_USB_LOST2 (WM_USER + 205)          /* 1229, wrong baseband id */
#define WM_SYSTEM_DURATION (WM_USER + 206)           /* 1230 */
#define WM_SYSTEM_TIME_BASE (WM_USER + 207)          /* 1231 */
#define WM_SYSTEM_UNNAMED_208 (WM_USER + 208)        /* 1232 */
#define WM_SYSTEM_NO_DEVICE (WM_USER + 209)          /* 1233 */
#define WM_SYSTEM_DISPLAY_CHANGED (WM_USER + 210)    /* 1234 */
#define WM_SYSTEM_RECORD_WRITE_ERROR (WM_USER + 212) /* 1236 */
#define WM_SYSTEM_RECORD_SIZE_LIMIT (WM_USER + 213)  /* 1237 */
#define WM_SYSTEM_RECORD_SPLIT (WM_USER + 214)       /* 1238 */
#define WM_SYSTEM_TUNER_ID_ERROR (WM_USER + 215)     /* 1239, wrong tuner id */
#define WM_SYSTEM_FAILURE (WM_USER + 216)            /* 1240, any other failure */
#define WM_SYSTEM_TIMESHIFT_NO_SPACE (WM_USER + 217) /* 1241 */
#define WM_SYSTEM_TIMESHIFT_NO_FILE (WM_USER + 218)  /* 1242 */
#define WM_SYSTEM_DLS (WM_USER + 219)                /* 1243 */
#define WM_SYSTEM_SIGNAL_LEVEL (WM_USER + 220)       /* 1244 */
#define WM_SYSTEM_MOT_FILE (WM_USER + 221)           /* 1245 */
#define WM_SYSTEM_AUDIO_UNSUPPORTED (WM_USER + 222)  /* 1246, the terminal: no decoder for the sound */
#define WM_SYSTEM_MOT_DIR_TIME (WM_USER + 223)       /* 1247 */
#define WM_SYSTEM_RECONNECT_URL (WM_USER + 224)      /* 1248 */

/* Messages of the player's main window. */
#define WM_USER_DEFERRED_START (WM_USER + 1000) /* 2024 */
#define WM_USER_OPEN_URL_TEXT (WM_USER + 1003)  /* 2027 */
#define WM_USER_SLIDER_MOVED (WM_USER + 9425)   /* 10449 */

M4_EXTERN_C_BEGIN

/* "WM_SYSTEM_..." for a code above, or "-" for any other. */
M4_API const char* M4_GetMessageName(uint32_t code);

M4_EXTERN_C_END

#endif
