// LZNT1, the compression NTFS applies per compression unit: a unit's data
// is a series of chunks, each standing for 4096 bytes of the file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vant {

inline constexpr std::size_t Lznt1ChunkBytes = 4096;

// Decompresses `in` into `out` (which must be zeroed: a short chunk leaves
// the rest of its 4096 bytes as zeros, as the file has them). Every read and
// write is bounded by the two buffers; a corrupt token ends its chunk.
// Returns the bytes of `out` the chunks stand for.
std::size_t DecompressLznt1(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t outSize);

}  // namespace vant
