// Reading an unsigned number the way the Windows C library's wcstoul does, where unsigned long
// is 32 bits: the registry and XML formats were defined against that behaviour, and reading it
// ourselves keeps native builds (64-bit unsigned long) giving the same results.
#pragma once

#include <cstddef>
#include <cstdint>

#include "document/chars.h"

namespace qm {

inline int digitValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if ((c | 0x20) >= L'a' && (c | 0x20) <= L'f') return (c | 0x20) - L'a' + 10;
    return 99;
}

// Leading white space, a sign and (base 16) a 0x prefix are accepted; reading stops at the first
// character that is not a digit of the base; no digits give 0; a value above 32 bits gives
// 0xFFFFFFFF; a minus sign negates modulo 2^32.
inline uint32_t readUnsigned32(const wchar_t* p, size_t n, int base) {
    size_t i = 0;
    while (i < n && isSpace(p[i])) ++i;
    bool negative = false;
    if (i < n && (p[i] == L'+' || p[i] == L'-')) negative = p[i++] == L'-';
    if (base == 16 && i + 2 < n && p[i] == L'0' && (p[i + 1] | 0x20) == L'x' && digitValue(p[i + 2]) < 16) i += 2;
    uint64_t value = 0;
    for (; i < n && digitValue(p[i]) < base; ++i) {
        value = value * unsigned(base) + unsigned(digitValue(p[i]));
        if (value > 0xFFFFFFFFu) return 0xFFFFFFFFu;
    }
    return negative ? uint32_t(0u - uint32_t(value)) : uint32_t(value);
}

}  // namespace qm
