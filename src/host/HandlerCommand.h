// How a URL finds its handler: the scheme, and the handler's registered
// command line turned into a format with one "%s" for the URL.
// Windows-free, so it is built natively and tested with sanitizers.
#pragma once
#include <cstddef>

namespace holv {

// The registered command is read into this many bytes.
inline constexpr size_t kHandlerValueSize = 256;
// Room for the longest usable command and the " %s" appended to it.
inline constexpr size_t kHandlerFormatSize = kHandlerValueSize + 4;
inline constexpr char kFallbackUrlFormat[] = "cmd /c start %s";

// Length of the scheme, the text before the first ':'; 0 when there is no
// ':' or it is the first character.
size_t UrlSchemeLength(const char* url);

// Turns the handler's command into a format for the URL: the first '%' must
// be the shell's "%1" and becomes "%s", and no other '%' may follow; a
// command without '%' gets " %s" appended when it is shorter than 253
// characters. False (format empty) when the command is unusable: then the
// caller falls back to kFallbackUrlFormat.
bool MakeHandlerFormat(const char* command, char (&format)[kHandlerFormatSize]);

// The URL as the appliance sent it, made safe to stand in a command line:
// every byte that is not legal in a URL (blanks, controls, '"', '<', '>',
// '\\', '^', '`', '{', '|', '}', and bytes from 0x7F) is percent-encoded, so
// the URL can neither end the handler's quotes nor split into arguments.
// '%' itself is kept: the URL may be encoded already. Cut, never overrun, at
// cap-1 characters (whole escapes only).
size_t EncodeUrlForCommandLine(const char* url, char* out, size_t cap);

// The URL as one argument of "cmd /c start": the interpreter's own
// characters (& | < > ^ ( )) escaped with '^', so a query string such as
// "?a=1&b=2" stays part of the URL instead of starting a second command.
// Cut, never overrun, at cap-1 characters (whole escapes only).
size_t EscapeForCommandInterpreter(const char* url, char* out, size_t cap);

}  // namespace holv
