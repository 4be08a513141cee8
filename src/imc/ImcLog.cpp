#include "imc/ImcLog.h"

#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace holv {
namespace {

FILE* g_stream = nullptr;
FILE* g_ownedStream = nullptr;  // opened from the environment, kept for the process
bool g_atLineStart = true;

void WriteTimeStamp(FILE* out) {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t seconds = system_clock::to_time_t(now);
    int millis = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    std::fprintf(out, "%02d:%02d:%02d.%03d ", local.tm_hour, local.tm_min, local.tm_sec, millis);
}

}  // namespace

void ImcLogOpenFromEnvironment() {
    if (g_stream) return;
    const char* path = std::getenv(kImcLogVariable);
    if (!path || !*path) return;
    if (!g_ownedStream) g_ownedStream = std::fopen(path, "a");
    g_stream = g_ownedStream;
}

void ImcSetLogStream(FILE* stream) {
    g_stream = stream;
    g_atLineStart = true;
}

int ImcLog(const char* format, ...) {
    if (!g_stream) return 0;
    if (g_atLineStart) WriteTimeStamp(g_stream);
    size_t n = std::strlen(format);
    g_atLineStart = n > 0 && format[n - 1] == '\n';
    va_list args;
    va_start(args, format);
    int count = std::vfprintf(g_stream, format, args);
    va_end(args);
    std::fflush(g_stream);
    return count;
}

}  // namespace holv
