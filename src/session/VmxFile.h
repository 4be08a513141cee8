// The VM configuration file as the backend's small persistent store: lines of
// the form key = "value". Reading is lenient (any letter case, blank or '='
// after the key); writing always produces "%s = \"%s\"\n".
#pragma once
#include <cstddef>
#include <optional>
#include <string>

namespace holv {

// Lines are handled in pieces of at most 255 characters (a 256-byte line
// buffer); a longer line counts as several lines.
inline constexpr size_t kVmxPieceSize = 256;
// The temporary file is the path with ".tmp" appended, within 259 characters.
inline constexpr size_t kVmxTempPathSize = 260;

// Does this piece of a line belong to the key: its first characters equal the
// key ignoring ASCII case and a blank or '=' follows.
bool VmxLineBelongsTo(const char* line, const char* key);

// The value between the first and the next double quote of the first line
// that belongs to the key; none when the file cannot be read, the key has no
// line, or that line holds no quoted value.
std::optional<std::string> ReadVmxValue(const std::string& path, const char* key);

// Replaces the original by the finished temporary file in one step; true on
// success. The platform's own call stands behind it (VmxFileReplace.cpp).
using VmxReplaceFn = bool (*)(const char* from, const char* to);
bool VmxReplaceFile(const char* from, const char* to);

// Replaces every line of the key with key = "value" (appending one when there
// is none), or deletes every line of the key when value is null. Returns 1
// when the file was changed, 0 otherwise; on any failure the original is left
// untouched and the temporary file removed.
int WriteVmxValue(const std::string& path, const char* key, const char* valueOrNull);
// The same with the replacing step given (tests put a failing one here).
int WriteVmxValue(const std::string& path, const char* key, const char* valueOrNull, VmxReplaceFn replace);

}  // namespace holv
