// The appliance messaging layer's debug log. Silent unless support asks a
// user to set HOLVENSTEAD_IMC_LOG to a file name (see the README); tests set
// a stream directly.
#pragma once
#include <cstdio>

namespace holv {

inline constexpr char kImcLogVariable[] = "HOLVENSTEAD_IMC_LOG";

// Opens the file that HOLVENSTEAD_IMC_LOG names, once, for appending. Does
// nothing when the variable is unset or a stream was set already.
void ImcLogOpenFromEnvironment();
// Sets (or with null clears) the stream; the caller keeps owning it.
void ImcSetLogStream(FILE* stream);

// Writes one printf-style piece; each line starts with the local time as
// "HH:MM:SS.mmm ". Flushed after every call. Returns the formatted count, 0
// while no stream is set.
int ImcLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace holv
