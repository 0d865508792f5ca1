// CRC-64 of ECMA-182 as xz uses it: reflected polynomial 0xC96C5795D7870F42, register preset
// to all ones, result inverted.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bq {

// The CRC of data[0, n); crc is a previous result to continue from (0 to start).
uint64_t Crc64(const void* data, size_t n, uint64_t crc = 0);

}  // namespace bq
