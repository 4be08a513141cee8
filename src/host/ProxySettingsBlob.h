// The browser's "DefaultConnectionSettings" blob, summed up for the
// appliance as "%c%c%c;%s;%s;%s": manual proxy 'm', automatic script 'w',
// automatic detection 'w' (else '-'), then the proxy server, the script's
// URL and the exceptions. Windows-free: the blob comes from the registry but
// is parsed like any untrusted bytes (built natively and fuzzed).
#pragma once
#include <cstddef>
#include <cstdint>

namespace holv {

// Reads the blob: three 32-bit little-endian words (the third the flags),
// three strings S1 S2 S3 (a 32-bit length, then the bytes), then optionally a
// word of further flags and, with its bit 4, a string S4. S1, S2 and the
// length words of S2 and S3 must lie inside the blob, else the summary is
// empty; S3 is cut at the blob's end; S4 counts only when non-empty and
// whole. Each string ends at its first NUL. Writes at most cap-1 characters
// and always terminates; returns the length written.
size_t FormatProxySummary(const uint8_t* blob, size_t size, char* out, size_t cap);

}  // namespace holv
