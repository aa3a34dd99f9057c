#include "recovery/lznt1.h"

#include <algorithm>
#include <cstring>

namespace vant {

std::size_t DecompressLznt1(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t outSize) {
  std::size_t ip = 0, chunkStart = 0;
  while (ip + 2 <= inSize && chunkStart < outSize) {
    // Header: bit 15 compressed, low 12 bits the chunk's data bytes less one.
    const std::uint16_t header = static_cast<std::uint16_t>(in[ip] | in[ip + 1] << 8);
    if (header == 0) break;
    ip += 2;
    const std::size_t chunkEnd = std::min(ip + (header & 0x0FFF) + 1, inSize);
    const std::size_t outEnd = std::min(chunkStart + Lznt1ChunkBytes, outSize);
    std::size_t op = chunkStart;
    if ((header & 0x8000) == 0) {
      const std::size_t n = std::min(chunkEnd - ip, outEnd - op);
      std::memcpy(out + op, in + ip, n);
    } else {
      while (ip < chunkEnd && op < outEnd) {
        std::uint8_t flags = in[ip++];
        for (int bit = 0; bit < 8 && ip < chunkEnd && op < outEnd; ++bit, flags >>= 1) {
          if ((flags & 1) == 0) {
            out[op++] = in[ip++];
            continue;
          }
          if (chunkEnd - ip < 2) {
            ip = chunkEnd;
            break;
          }
          const std::uint16_t token = static_cast<std::uint16_t>(in[ip] | in[ip + 1] << 8);
          ip += 2;
          // The split between offset and length moves as the chunk fills:
          // 4 offset bits for the first 16 bytes, one more each doubling.
          const std::size_t position = op - chunkStart;
          unsigned lengthBits = 12;
          for (std::size_t p = position ? position - 1 : 0; p >= 0x10; p >>= 1) --lengthBits;
          const std::size_t length = (token & ((1u << lengthBits) - 1)) + 3;
          const std::size_t back = (token >> lengthBits) + 1;
          if (back > position) {  // points before the chunk: corrupt
            ip = chunkEnd;
            break;
          }
          for (std::size_t k = 0; k < length && op < outEnd; ++k, ++op) out[op] = out[op - back];
        }
      }
    }
    ip = chunkEnd;
    chunkStart += Lznt1ChunkBytes;
  }
  return std::min(chunkStart, outSize);
}

}  // namespace vant
