/* Bit reader over a caller's buffer, most significant bit first. It never reads past the
 * buffer: bits asked for beyond its end read as 0 and mark the reader as overrun. */
#ifndef M4SYSTEMS_BITSTREAM_H
#define M4SYSTEMS_BITSTREAM_H

#include "m4systems/m4_types.h"

M4_EXTERN_C_BEGIN

typedef struct M4BitStream M4BitStream;

M4_API M4BitStream* NewBitStream(const uint8_t* data, uint32_t size);
/* Reads nbits (0 to 32) bits. */
M4_API uint32_t BS_ReadInt(M4BitStream* bs, uint32_t nbits);
M4_API uint64_t BS_GetBitsLeft(M4BitStream* bs);
/* 1 once a read went past the end. */
M4_API int BS_IsOverrun(M4BitStream* bs);
M4_API void DeleteBitStream(M4BitStream* bs);

M4_EXTERN_C_END

#endif
