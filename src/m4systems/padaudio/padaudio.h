/* padaudio: the terminal's audio input module for radio services. For every MPEG Layer II
 * frame the terminal plays (live "mp2" inputs and ".mp2" files), it takes the programme
 * associated data at the end of the frame (F-PAD and X-PAD), and for every DAB+ access unit
 * (live DAB+ inputs and their ".m4a" recordings) the same PAD from the data stream element at
 * the unit's start; it joins dynamic label segments and
 * MOT slideshow objects, writes each slide as a file below the MOT folder and reports:
 *   1243 WM_SYSTEM_DLS       a new dynamic label: wparam its character set (EN 300 401 / TS 101
 *                            756: 0 EBU Latin, 4, 6 UCS-2, 15 UTF-8), lparam its length in bytes;
 *                            GetDLSData gives its text
 *   1245 WM_SYSTEM_MOT_FILE  a new slide was written: wparam its MOT transport id, lparam its
 *                            size in bytes; GetMOTFileName names its file
 * The calls are process-wide (one radio service plays at a time) and safe from any thread. */
#ifndef M4SYSTEMS_PADAUDIO_PADAUDIO_H
#define M4SYSTEMS_PADAUDIO_PADAUDIO_H

#include "m4systems/m4_types.h"

M4_EXTERN_C_BEGIN

/* The folder slides are written to, with its trailing separator ("…/MOT/"); a slide's MOT
 * ContentName is appended as it is (a name with "/" or "\" makes sub-folders). Returns the
 * path's length + 1, 0 for null. */
M4_API int SetMOTPath(const char* path);

/* 1: forgets the current label and slide and every partly received label or object (a new
 * service, a stop, a weak signal). Other values do nothing. */
M4_API void MOTInitVariable(int reset);

/* Before connecting a radio service: 1 live reception, 0 a file. Starts afresh as
 * MOTInitVariable(1) does; returns the value set. */
M4_API int GetCurrentRadioType(int live);

/* Every signal report (the value of 1244, tenths of dB): at 7.8 dB and below reception is too
 * weak for the PAD to be trusted, and partly received labels and objects are dropped. */
M4_API void PADDataInValidCheck(int signal);

/* Copies the current label's bytes, as broadcast in its character set, into buffer (256
 * bytes) followed by a zero byte; returns their number (0: no label). */
M4_API int GetDLSData(uint8_t* buffer);

/* The object name record, 256 bytes. */
typedef struct MOTFileName {
    char name[252];           /* the current slide's file, full path, NUL-terminated */
    uint16_t content_type;    /* MOT ContentType: 2 image */
    uint16_t content_subtype; /* 1 JFIF (JPEG), 3 PNG */
} MOTFileName;

/* Fills the record with the current slide; returns 1, or 0 (record left zeroed) without one. */
M4_API int GetMOTFileName(MOTFileName* record);

M4_EXTERN_C_END

#endif
