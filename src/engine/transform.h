// The byte-wise work of the transforms on a chunk in memory, apart from the files they run over.
#pragma once

#include "engine/chunk.h"

#include <cstddef>
#include <cstdint>

/// out[i] = second[i] - first[i] (mod 256) for i < n: the difference of a new chunk from an old.
/// out may be second itself: each byte is read before it is replaced.
void mdSubtractChunk(const uint8_t* first, const uint8_t* second, uint8_t* out, size_t n);
/// out[i] = second[i] + first[i] (mod 256) for i < n: a difference chunk applied to a source chunk.
/// out may be second itself.
void mdAddChunk(const uint8_t* first, const uint8_t* second, uint8_t* out, size_t n);
