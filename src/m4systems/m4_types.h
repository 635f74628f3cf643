/* Basic types shared by every call of the terminal library. */
#ifndef M4SYSTEMS_M4_TYPES_H
#define M4SYSTEMS_M4_TYPES_H

#include <stdint.h>

#ifdef __cplusplus
#define M4_EXTERN_C_BEGIN extern "C" {
#define M4_EXTERN_C_END }
#else
#define M4_EXTERN_C_BEGIN
#define M4_EXTERN_C_END
#endif

#define M4_API __attribute__((visibility("default")))
/* Inner classes exported for the project's own tests, fuzzers and benchmarks only; not part of
 * the terminal's interface. */
#define M4_INTERNAL __attribute__((visibility("default")))

/* Result of the terminal's calls: 0 success, negative failure. */
typedef int32_t M4Err;
#define M4OK 0
#define M4BadParam -1
#define M4OutOfMem -2
#define M4IOErr -3
#define M4NotSupported -4

/* Message parameters are pointer-sized: 1247 carries a pointer to a path text. */
typedef intptr_t M4Param;

#endif
