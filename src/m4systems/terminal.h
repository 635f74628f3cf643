/* The multimedia terminal: created with the player's user record, it reports every status
 * (codes 1124 to 1248, see messages.h) through the record's message function. */
#ifndef M4SYSTEMS_TERMINAL_H
#define M4SYSTEMS_TERMINAL_H

#include "m4systems/inifile.h"
#include "m4systems/m4_types.h"
#include "m4systems/plugin.h"
#include "m4systems/video_output.h"

M4_EXTERN_C_BEGIN

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

/* Null when user is null or lacks its message function. Opens the audio device (SDL2; with
 * SDL_AUDIODRIVER=dummy where the machine has no sound card). The plug-in manager and the video
 * output of the record may be null: then no URL can be connected, or pictures go nowhere. */
M4_API M4Term* NewMPEG4Term(const M4User* user);
/* Stops any recording (flushing it), closes the connection and the audio device. */
M4_API void M4T_Delete(M4Term* term);

/* 1 when the audio device opened, else 0 (playback runs then on the system clock). */
M4_API int M4T_HasAudioOut(M4Term* term);

/* Connects a URL or plays a file; whatever was connected is closed first.
 * - A URL that an input plug-in claims (M4_INPUT_SERVICE_INTERFACE, can-handle-URL) becomes a
 *   live input fed through the service's deliver-data operation: ending in ".ts" an MPEG-2
 *   transport stream (H.264, MPEG-2 video, AAC, MPEG audio), in ".mp2" or ".mp3" radio: MPEG
 *   audio, or DAB+ access units in LOAS frames (as the first bytes show).
 *   The plug-in reports first data itself (1225, 1226).
 * - Any other text is a file path (".ts", ".mp2", ".mp3", ".m4a"); "file://" in front is
 *   accepted.
 *   The file sends 1230 (lparam: duration in whole seconds), 1231 (wparam: time base in ms) and
 *   1226 on its first decoded frame.
 * Returns at once (playback starts later): M4OK; M4BadParam for a null URL; M4NotSupported when
 * no plug-in claims a URL with "://" that is not a file; M4IOErr when the file cannot be opened;
 * the plug-in's own negative result when its connect fails. */
M4_API M4Err M4T_ConnectURL(M4Term* term, const char* url);
/* Closes the live input (the plug-in's close) or the file; a recording is stopped first.
 * M4OK also when nothing was connected. */
M4_API M4Err M4T_CloseURL(M4Term* term);

/* The size of the pictures handed to the video output; 0 x 0 keeps the stream's own size. */
M4_API M4Err M4T_SetSize(M4Term* term, uint32_t width, uint32_t height);
/* The video window's position in pixels: kept, the output places its pictures itself. */
M4_API M4Err M4T_SetPosition(M4Term* term, int32_t x, int32_t y);

/* The media clock in milliseconds of stream time (the time stamps of the stream; for files the
 * position is this value minus the time base of 1231). 0 before anything played. */
M4_API uint32_t M4T_GetCurrentTimeInMS(M4Term* term);
/* Seeks a file to ms of stream time (time base + position): playback goes on from the first
 * frame at or after it. M4NotSupported for live inputs, M4BadParam without a file. */
M4_API M4Err M4T_PlayFromTime(M4Term* term, uint32_t ms);

#define M4T_OPTION_VOLUME 5 /* 0 (silent) to 100 */
#define M4T_OPTION_PAUSE 22 /* 1 pauses, 0 resumes */
/* M4OK, M4BadParam for a value out of range, M4NotSupported for another option. Pause on a live
 * transport stream with time shift on (tsfeed) keeps caching and resumes behind live; without
 * time shift, resume continues at live. */
M4_API M4Err M4T_SetOption(M4Term* term, uint32_t option, uint32_t value);

/* 1 hides the terminal's status text (video output ShowText), 0 lets it show again. */
M4_API void M4T_HideOsd(M4Term* term, int hide);

/* Records the live input's bytes, as they arrive, into path (".ts" or ".mp2"). A file stops at
 * 2 GB with 1237; a transport stream that jumps in time continues in "<base>-1.ts",
 * "<base>-2.ts" ... with 1238 (wparam: the number of the new file) for each; a write failure,
 * also at creation, stops with 1236. M4BadParam without a live input or path, M4IOErr when the
 * file cannot be created. A recording already running is stopped first.
 * DAB+ radio (the receiver hands its units over as LOAS) is recorded as MPEG-4 audio with the
 * extension ".m4a", which replaces ".mp2" or ".mp3" (any other extension gets ".m4a" added):
 * the units are AAC of 960 samples, which no MPEG audio or ADTS file can describe. The input is
 * known for DAB+ by its first bytes: the plug-in sends the first frame (1226) only after them. */
M4_API M4Err M4T_StartRecord(M4Term* term, const char* path);
/* The extension (without the dot) a recording of the live input gets whatever was asked:
 * "m4a" for DAB+ radio; null when the asked one stands (".ts" for TV, ".mp2" for radio). */
M4_API const char* M4T_GetRecordExtension(M4Term* term);
/* Flushes and closes the recording; M4OK also when none runs. */
M4_API M4Err M4T_StopRecord(M4Term* term);

/* The capture record, six words. */
typedef struct M4CaptureRecord {
    uint32_t width;      /* word 0 */
    uint32_t height;     /* word 1 */
    uint32_t pitch;      /* word 2: bytes a row, width x 3 */
    uint32_t pixel_size; /* word 3: bytes a pixel, 3 */
    uint8_t* pixels;     /* word 4: B, G, R for each pixel, top row first; free() it */
    void* reserved5;     /* word 5 */
} M4CaptureRecord;
/* Fills a zeroed record with a copy of the last picture handed to the video output. The caller
 * frees pixels with the C library's free(). M4BadParam (record left zeroed) when no picture
 * has been shown since connecting, M4OutOfMem when the copy cannot be allocated. */
M4_API M4Err M4T_CaptureScreen(M4Term* term, M4CaptureRecord* record);

/* Observes the audio as it is played, after the volume: interleaved 16-bit samples, frames x
 * channels of them at rate. Called on an audio thread; null removes the tap. */
typedef void (*M4AudioTap)(void* user, const int16_t* samples, uint32_t frames, uint32_t channels,
                           uint32_t rate);
M4_API void M4T_SetAudioTap(M4Term* term, M4AudioTap tap, void* user);

/* 1 when a file has played out to its end (every frame shown, the audio played), else 0. */
M4_API int M4T_IsEndOfStream(M4Term* term);

/* Sends a status message to the player through the message function of the newest terminal
 * alive. Without a terminal the message goes to the process's message hook (below), if any,
 * and is otherwise dropped with a detail-level log line. Safe from any thread. */
M4_API void M4T_SendMessage(uint32_t message, M4Param wparam, M4Param lparam);

/* Receives messages sent while no terminal exists (headless tools). Null removes it. */
typedef void (*M4MessageHook)(void* user, uint32_t message, M4Param wparam, M4Param lparam);
M4_API void M4_SetMessageHook(M4MessageHook hook, void* user);

M4_EXTERN_C_END

#endif
