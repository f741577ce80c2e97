// The comparison of mdVerify on a chunk in memory, apart from the files it reads.
#pragma once

#include "engine/chunk.h"

#include <cstddef>
#include <cstdint>

/// mdCompareChunk's answer when every block of the chunk was full and equal: the files go on.
constexpr int MD_CHUNK_CONTINUES = 1;

/// Compares one chunk block by block: a bytes read of the reference and b of the candidate, each
/// at most MD_CHUNK_SIZE. In the first block whose two lengths differ, MD_ERR_SIZE_MISMATCH; in the
/// first whose bytes differ (lengths equal), MD_ERR_CONTENT_MISMATCH; MD_OK after an equal block
/// shorter than MD_BLOCK_SIZE, where both files end; MD_CHUNK_CONTINUES when all blocks were full
/// and equal.
int mdCompareChunk(const uint8_t* reference, size_t a, const uint8_t* candidate, size_t b);
