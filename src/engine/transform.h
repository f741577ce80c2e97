// The byte-wise transforms of one pass, apart from the files they run over.
#pragma once

#include <cstddef>
#include <cstdint>

/// out[i] = second[i] - first[i] (mod 256) for i < n: the difference of a new block from an old.
void mdSubtractBlock(const uint8_t* first, const uint8_t* second, uint8_t* out, size_t n);
/// out[i] = second[i] + first[i] (mod 256) for i < n: a difference block applied to a source block.
void mdAddBlock(const uint8_t* first, const uint8_t* second, uint8_t* out, size_t n);
