// Opening URLs in the user's browser, as the desktop user although the
// program runs elevated, and opening the appliance's web interface.
#pragma once
#include "host/HandlerCommand.h"

namespace holv {

inline constexpr int kNoScheme = 87;  // ERROR_INVALID_PARAMETER: a URL without a scheme

// The command a URL is started with.
struct UrlCommand {
    char format[kHandlerFormatSize] = {};  // one "%s" for the URL
    bool fallback = false;                 // the command interpreter's "start", not a registered handler
    bool asProgramUser = false;            // a registered Chrome: started as the program's own user
};

// Looks the URL's handler up: the user's choice for the scheme (systems of
// major version 6 and above), else the scheme's own class, and its
// "shell\open\command"; a missing or unusable command falls back to
// "cmd /c start %s". 0, or kNoScheme.
int ChooseUrlCommand(const char* url, UrlCommand* out);

// Starts the URL's handler without waiting, in a new process group, with the
// URL percent-encoded where it is not legal (EncodeUrlForCommandLine).
// Returns the start's result (0 when started), or kNoScheme.
int OpenUrl(const char* url);

// Opens "https://<address>/", the appliance's web interface (address in
// dotted text), first warning once per run about a browser proxy that holds
// no exception for the appliance. OpenUrl's result.
int OpenApplianceUrl(const char* address);

}  // namespace holv
