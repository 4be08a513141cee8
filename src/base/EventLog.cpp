#include "base/EventLog.h"

#include <windows.h>

#include "base/Unique.h"

namespace holv {

// Events are rare (transitions, failures): the source is opened for each
// one, so nothing stays open across a service's life or a crash.
void ReportHolvEvent(HolvEvent event, std::string_view detail) {
    EventEntry entry = MakeEventEntry(event, detail);
    UniqueEventSource source(RegisterEventSourceA(nullptr, kEventSourceName));
    if (!source) return;
    const char* strings[] = {entry.text.c_str()};
    ReportEventA(source.get(), entry.type, 0, entry.id, nullptr, 1, 0, strings, nullptr);
}

}  // namespace holv
