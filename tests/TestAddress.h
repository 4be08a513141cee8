// IPv4 addresses for tests, written as their four bytes.
#pragma once
#include <cstdint>
#include <cstring>

namespace holv::test {

// a.b.c.d in network order, as the program keeps addresses.
inline uint32_t Ip(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    uint8_t bytes[4] = {a, b, c, d};
    uint32_t v;
    std::memcpy(&v, bytes, 4);
    return v;
}

}  // namespace holv::test
