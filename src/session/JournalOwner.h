// The run a journal entry belongs to: the process id and the process's
// creation time. A start undoes only what runs that no longer run left; an id
// alone names another process once the first has gone and the id comes round
// again, the creation time tells them apart.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace holv {

struct JournalOwner {
    uint32_t processId = 0;
    uint64_t createdAt = 0;  // 0: an entry written before creation times were noted
};

// "<pid> <creation>", both decimal.
std::string OwnerText(const JournalOwner& owner);
// Exactly "<pid>" (the older entries' form) or "<pid> <creation>".
std::optional<JournalOwner> ParseOwner(std::string_view text);

// An entry value of the form "<head> <owner>": the head and, when the value
// has one, its owner. An older value without an owner is all head. False
// when the part after the first blank is no owner.
bool SplitOwnedValue(const std::string& value, std::string& head, std::optional<JournalOwner>& owner);

// Whether the noted owner is the process now running with its id (`live`:
// that process's id and creation time). An older entry's owner has no
// creation time: its id alone decides, as it did when it was written.
bool SameRun(const JournalOwner& noted, const JournalOwner& live);

}  // namespace holv
