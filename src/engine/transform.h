// The byte-wise work of the passes, apart from the files they run over.
#pragma once

#include "engine/engine.h"

#include <cstddef>
#include <cstdint>

/// Passes of MD_BLOCK_SIZE bytes that the transforms and the comparison handle per read and per
/// write of each stream: a file is read and written in chunks of MD_CHUNK_SIZE bytes, which the C
/// runtime's streams hand to the system whole instead of one stream buffer at a time. The chunk's
/// passes are the file's 1024-byte passes, in order, each with its own end and failure rules.
constexpr size_t MD_CHUNK_PASSES = 1024;
/// Bytes of one chunk: MD_CHUNK_PASSES whole passes.
constexpr size_t MD_CHUNK_SIZE = MD_CHUNK_PASSES * MD_BLOCK_SIZE;

/// The two chunk buffers of a pass loop.
struct mdChunkBuffers {
    uint8_t first[MD_CHUNK_SIZE];
    uint8_t second[MD_CHUNK_SIZE];
};

/// The one pair of chunk buffers, which the transforms and the comparison share: one loop runs at a
/// time on the program's one thread, and none keeps bytes from one call to the next. Static, so
/// that the loops need neither the heap nor 2 MiB of stack.
mdChunkBuffers& mdChunks();

/// out[i] = second[i] - first[i] (mod 256) for i < n: the difference of a new block from an old.
/// out may be second itself: each byte is read before it is replaced.
void mdSubtractBlock(const uint8_t* first, const uint8_t* second, uint8_t* out, size_t n);
/// out[i] = second[i] + first[i] (mod 256) for i < n: a difference block applied to a source block.
/// out may be second itself.
void mdAddBlock(const uint8_t* first, const uint8_t* second, uint8_t* out, size_t n);

/// mdCompareChunk's answer when every pass of the chunk was full and equal: the files go on.
constexpr int MD_CHUNK_CONTINUES = 1;

/// Compares one chunk pass by pass: a bytes read of the reference and b of the candidate, each at
/// most MD_CHUNK_SIZE. In the first pass whose two lengths differ, -22; in the first whose bytes
/// differ (lengths equal), -23; 0 after an equal pass shorter than MD_BLOCK_SIZE, where both
/// files end; MD_CHUNK_CONTINUES when all passes were full and equal.
int mdCompareChunk(const uint8_t* reference, size_t a, const uint8_t* candidate, size_t b);
