// Blocks and chunks: the unit of the rules, and how much each read and write moves.
#pragma once

#include "engine/engine.h"

#include <cstddef>
#include <cstdint>

// Two words, each with one meaning:
// - a block is MD_BLOCK_SIZE (1024) bytes: the unit of the rules. A file ends after its first
//   block shorter than 1024 bytes, and a comparison tells a difference in the first block that
//   differs; a pass is the handling of one block.
// - a chunk is MD_CHUNK_SIZE (1 MiB), MD_CHUNK_BLOCKS whole blocks: only how much each read and
//   each write moves, so that the C runtime's streams hand the system whole chunks instead of one
//   stream buffer at a time.
// The loops over the chunks are runPasses in transform.cpp and comparePasses in verify.cpp. Their
// results, files and reports must equal those of a loop that reads and writes 1024-byte blocks
// one by one: each chunk is taken block by block, in order, each block with its own end and
// failure rules.

/// Blocks in one chunk.
constexpr size_t MD_CHUNK_BLOCKS = 1024;
/// Bytes of one chunk.
constexpr size_t MD_CHUNK_SIZE = MD_CHUNK_BLOCKS * MD_BLOCK_SIZE;

/// The two chunk buffers of a loop.
struct mdChunkBuffers {
    uint8_t first[MD_CHUNK_SIZE];
    uint8_t second[MD_CHUNK_SIZE];
};

/// The one pair of chunk buffers, which the transforms and the comparison share: one loop runs at a
/// time on the program's one thread, and none keeps bytes from one call to the next. Static, so
/// that the loops need neither the heap nor 2 MiB of stack.
mdChunkBuffers& mdChunks();
