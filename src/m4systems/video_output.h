/* Where the terminal's pictures go: the player implements this interface and passes it in the
 * user record as the video window. Every operation is called on the terminal's video thread,
 * never on the thread that called the terminal; the player copies what it needs and posts it
 * to its own thread. */
#ifndef M4SYSTEMS_VIDEO_OUTPUT_H
#define M4SYSTEMS_VIDEO_OUTPUT_H

#include "m4systems/m4_types.h"

M4_EXTERN_C_BEGIN

typedef struct M4VideoOutput {
    void* user;
    /* A decoded picture at the size set with M4T_SetSize: width x height pixels of 32-bit RGB,
     * each pixel one native-endian word 0xFFRRGGBB (in memory on this machine: B, G, R, 255),
     * rows top first, stride bytes apart. The pixels are valid only during the call. */
    void (*Present)(void* user, const uint8_t* pixels, uint32_t width, uint32_t height,
                    uint32_t stride);
    /* Optional (may be null): the connection closed; no picture is current any more. */
    void (*Clear)(void* user);
    /* Optional (may be null): the terminal's own status text to show over the picture, or null
     * to remove it. M4T_HideOsd(term, 1) keeps it removed. */
    void (*ShowText)(void* user, const char* text);
} M4VideoOutput;

M4_EXTERN_C_END

#endif
