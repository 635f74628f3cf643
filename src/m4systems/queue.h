/* Bounded byte queue, safe between threads. Overflow policy: a put that does not fit whole is
 * refused whole (returns 0) and counted, so the queue never holds a partial write. */
#ifndef M4SYSTEMS_QUEUE_H
#define M4SYSTEMS_QUEUE_H

#include "m4systems/m4_types.h"

M4_EXTERN_C_BEGIN

typedef struct M4ByteQueue M4ByteQueue;

/* A queue of capacity bytes (at least 1); null on a zero capacity. */
M4_API M4ByteQueue* SQ_Init(uint32_t capacity);
/* Appends len bytes; returns len, or 0 when they do not fit (nothing is stored then). */
M4_API uint32_t SQ_PutData(M4ByteQueue* q, const void* data, uint32_t len);
/* Removes up to len bytes into buf; returns how many. */
M4_API uint32_t SQ_GetData(M4ByteQueue* q, void* buf, uint32_t len);
/* Copies up to len bytes into buf without removing them; returns how many. */
M4_API uint32_t SQ_PeekData(M4ByteQueue* q, void* buf, uint32_t len);
/* Bytes queued. */
M4_API uint32_t SQ_GetDataNum(M4ByteQueue* q);
/* Puts refused since the queue was made or reset. */
M4_API uint32_t SQ_GetOverflowCount(M4ByteQueue* q);
M4_API void SQ_Reset(M4ByteQueue* q);
M4_API void SQ_Delete(M4ByteQueue* q);

M4_EXTERN_C_END

#endif
