#pragma once

// Byte-to-byte tables for point operations whose result depends on the old byte alone.
#include <array>
#include <cstdint>
#include <cstring>

namespace imgdesk::pixel {

using ByteTable = std::array<unsigned char, 256>;

// Replaces each of count bytes by its table entry. Eight bytes go through one 64-bit load and
// store, which keeps the loop close to memory speed.
inline void ApplyByteTable(unsigned char* bytes, long long count, const ByteTable& table) {
    long long i = 0;
    for (; i + 8 <= count; i += 8) {
        std::uint64_t in;
        std::memcpy(&in, bytes + i, 8);
        std::uint64_t out = 0;
        for (int k = 0; k < 8; ++k)
            out |= std::uint64_t(table[(in >> (8 * k)) & 0xFF]) << (8 * k);
        std::memcpy(bytes + i, &out, 8);
    }
    for (; i < count; ++i)
        bytes[i] = table[bytes[i]];
}

}  // namespace imgdesk::pixel
