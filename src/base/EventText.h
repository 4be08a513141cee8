// What the program tells an administrator through the Application event
// log: which events there are, how severe each is, and the text each one
// carries. Kept free of windows.h: the choice of event and its text are
// checked natively; EventLog.h hands them to the system.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace holv {

// The event ids. Each has its own entry in the program's message table (the
// same "%1" text for all), so an administrator can filter by id; the
// numbers stay as they are once released.
enum class HolvEvent : uint16_t {
    ServiceStarted = 1,
    ServiceStopped = 2,
    ServiceChildFailed = 3,
    ApplianceFound = 4,
    ApplianceLost = 5,
    HostChangeFailed = 6,
    HostUndoFailed = 7,
    ActionRefused = 8,
    JournalUndone = 9,
};
inline constexpr uint16_t kHolvEventLast = 9;

// The platform's event types (EVENTLOG_ERROR_TYPE and its siblings).
enum EventType : uint16_t {
    EventError = 0x1,
    EventWarning = 0x2,
    EventInformation = 0x4,
};

inline constexpr char kEventSourceName[] = "Holvenstead";
// An entry's text is cut to this many characters.
inline constexpr size_t kEventTextMax = 1024;

struct EventEntry {
    uint16_t type = EventInformation;
    uint32_t id = 0;
    std::string text;
};

// The entry for an event: its type, its id and its text, which is the
// event's own sentence followed by the detail. The detail may come from the
// appliance: control characters become blanks and '%' becomes '?', so it
// can neither forge further lines nor insert parameter texts when the
// viewer formats the message.
EventEntry MakeEventEntry(HolvEvent event, std::string_view detail);

// Contact with the appliance is reported on its changes only, not on every
// step: the event's id when `reachable` differs from what `inContact` held
// (which then takes it), 0 when nothing changed.
uint16_t ContactEvent(bool& inContact, bool reachable);

// A failure the program meets again on every step (a route the system will
// not take) is told once a run: true the first time a key is seen. Keys
// past the bound count as seen, so a flood of distinct ones stays bounded.
class EventOnce {
public:
    bool First(const std::string& key);

private:
    static constexpr size_t kMaxKeys = 64;
    std::vector<std::string> seen_;
};

}  // namespace holv
