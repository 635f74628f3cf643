// Channel search and the channel cache. The cache holds up to 1024 ChannelInfo records keyed by
// frequency in whole kHz (rounded) and is kept on disk as "channel.dat" in the current folder:
//   a 32-bit little-endian record count, then that many records of 11184 bytes, each laid out
//   as ChannelInfo (bb_ficdec.h) and written field by field, little-endian, reserved bytes 0.
//   Component references are one-based component indices (0 = none).
#ifndef RXMOD_DMB_API_H
#define RXMOD_DMB_API_H

#include <cstdint>
#include <string>

#include "rxmod/bb_ficdec.h"

constexpr const char* kChannelCacheFile = "channel.dat";
constexpr int kMaxCachedChannels = 1024;
constexpr int kChannelRecordSize = 11184;

// ServiceKind of a service from its first component; may fill in its user application type.
int DMB_ServiceKind(ChannelInfo& info, ServiceRecord& service);

// Cache: store replaces the record of the same frequency (0, or BB_ERR_TABLE_FULL when 1024
// records are held and the frequency is new); lookup copies it out (BB_ERR_NO_CHANNEL).
int DMB_StoreChannel(const ChannelInfo& info);
int DMB_LookupChannel(double frequency_mhz, ChannelInfo* out);
int DMB_CachedChannelCount();
void DMB_ClearChannelCache();

// "channel.dat": 0, or BB_ERR_INVALID_PARAM (empty name, file not opened or written, count not
// read). Loading replaces the cache with the whole records of the file, at most 1024.
int DMB_SaveChannelCache(const char* file_name);
int DMB_LoadChannelCache(const char* file_name);

// One record as stored on disk, and back. Reading never trusts the bytes: labels are cut to
// 16 characters, counts and references are kept in range.
void DMB_WriteChannelRecord(const ChannelInfo& info, uint8_t* record);
void DMB_ReadChannelRecord(const uint8_t* record, ChannelInfo* info);
// The cache's whole file image, and the loading of one (also used by the fuzzer).
std::string DMB_ChannelCacheImage();
int DMB_LoadChannelCacheImage(const uint8_t* data, size_t size);

#endif
