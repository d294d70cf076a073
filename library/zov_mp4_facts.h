#pragma once
// The facts of an MP4/MOV recording read from its index (`moov`) directly:
// duration and creation time (mvhd), streams (each trak's handler and sample
// description), picture size and codec, and whether the first picture's
// bytes were ever written. A card holds hundreds of these files, and this
// costs one read of the index and one of the first picture instead of a
// demuxer open.
//
// It answers only for the layouts whose facts it knows to be the demuxer's
// (one sample description per track, H.264 or H.265 pictures whose edit
// list, if any, starts at their first sample, sound of a codec the demuxer
// names, no other tracks, fragments, external data or compressed index); for
// anything else it returns false and the caller opens the file with the
// demuxer.
//
// Thread: any; touches no shared state.
#include <cstdint>

#include "library/zov_library_types.h"

class CZovGpsFile;

// The largest index read into memory; a larger one goes to the demuxer.
inline constexpr uint64_t kZovMaxMp4Index = 32ull << 20;

// Fills `facts` (playable, or the reason why not) from the index box that
// starts at `moovAt` and is `moovSize` bytes long (header included). False:
// not a layout this reader answers for; `facts` is then untouched.
bool ZovReadMp4Facts(const CZovGpsFile& file, uint64_t moovAt, uint64_t moovSize, ZovFileFacts* facts);
