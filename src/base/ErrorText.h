#pragma once
#include <string>

namespace holv {

// The system's message for a Windows error code in the user's language, its
// trailing line break removed; "IDispatch error #%d" for the dispatch range,
// "Unknown error 0x%0lX" when the system has no text.
std::string ErrorText(long code);

}  // namespace holv
