/* The terminal clock: the only time source of the plug-in and of the emulated receiver.
 * It can run scaled: with scale 10, M4_GetSysClock advances ten clock milliseconds per real
 * millisecond and M4_Sleep(1000) returns after 100 real milliseconds. */
#ifndef M4SYSTEMS_CLOCK_H
#define M4SYSTEMS_CLOCK_H

#include "m4systems/m4_types.h"

M4_EXTERN_C_BEGIN

/* Reference-counted start and stop; the clock reads correctly without them as well. */
M4_API void M4_InitClock(void);
M4_API void M4_StopClock(void);
/* Milliseconds of terminal time since the process started. */
M4_API uint32_t M4_GetSysClock(void);
/* The same with its fraction of a millisecond, as a double. */
M4_API double M4_GetPreciseClock(void);
/* Real milliseconds that ms milliseconds of terminal time take at the present scale (at least
 * 1 for any ms above 0): for waits on a condition that terminal time ends. */
M4_API uint32_t M4_RealMs(uint32_t ms);
/* Sleeps for ms milliseconds of terminal time. */
M4_API void M4_Sleep(uint32_t ms);
/* Sets the scale (clock milliseconds per real millisecond); the environment variable
 * KORU_CLOCK_SCALE sets it at start. Values at or below 0 are refused. Terminal time stays
 * continuous across a change. */
M4_API void M4_SetClockScale(double scale);
M4_API double M4_GetClockScale(void);

M4_EXTERN_C_END

#endif
