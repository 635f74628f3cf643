/* tsfeed: the terminal's transport-stream input module and its time-shift cache. */
#ifndef M4SYSTEMS_TSFEED_TSFEED_H
#define M4SYSTEMS_TSFEED_TSFEED_H

#include "m4systems/m4_types.h"

M4_EXTERN_C_BEGIN

/* Time shift for the live transport streams connected from now on: path is the cache file
 * (created, or emptied, at connect; removed at close) and minutes its length; 0 minutes or an
 * empty path turns time shift off. While on, pausing (M4T_SetOption 22, 1) keeps the picture
 * and the cache filling, and resuming plays on from the cache, behind live by the paused time.
 * The cache holds about `minutes` of the stream: what is older is overwritten. A cache that
 * cannot be created is reported with 1242, one that cannot be written with 1241; playback then
 * goes on without time shift. A connected input keeps the settings it started with. M4OK. */
M4_API M4Err SetTimeShiftParams(const char* path, uint32_t minutes);

M4_EXTERN_C_END

#endif
