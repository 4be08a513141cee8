#include "backends/CDriverSign.h"

#include <windows.h>
// After windows.h.
#include <sddl.h>

#include <cstring>

#include "base/EventLog.h"
#include "base/Unique.h"
#include "session/HostJournal.h"

namespace holv {
namespace {

constexpr char kSection[] = "DriverSigning";
// One instance at a time between save and restore: two interleaved guards
// would let the second save the first's relaxed values as the "before".
constexpr char kGuardMutex[] = "Global\\HolvensteadDriverSigning";
// The guard is taken on the UI thread: another instance's installation may
// hold it long, and then this one goes on without relaxing anything.
constexpr DWORD kGuardWaitMs = 15000;

// The policies the driver installation asks about: for drivers and for other
// files, the machine's (a byte) and the user's (a DWORD, which wins where it
// is stricter). 0 means "install without asking".
struct PolicySlot {
    const char* journalName;
    bool user;  // in the user's hive: its entries name the user's SID
    const char* key;
    DWORD relaxedType;
};
const PolicySlot kSlots[] = {
    {"HKLM Driver Signing", false, "SOFTWARE\\Microsoft\\Driver Signing", REG_BINARY},
    {"HKLM Non-Driver Signing", false, "SOFTWARE\\Microsoft\\Non-Driver Signing", REG_BINARY},
    {"HKCU Driver Signing", true, "Software\\Microsoft\\Driver Signing", REG_DWORD},
    {"HKCU Non-Driver Signing", true, "Software\\Microsoft\\Non-Driver Signing", REG_DWORD},
};
constexpr char kValueName[] = "Policy";

DriverSignStepHook stepHook = nullptr;

void Reached(DriverSignStep step, int slot) {
    if (stepHook) stepHook(step, slot);
}

// The SID of the user this process runs as, as text; empty when unknown.
std::string ReadUserSid() {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size)) return {};
    char* text = nullptr;
    if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) return {};
    UniqueLocal owner(text);
    return text;
}

// A process keeps its user for life.
const std::string& CurrentUserSid() {
    static const std::string sid = ReadUserSid();
    return sid;
}

// Where a slot's value is: the machine's hive, or the hive of the user the
// entry names (this process's own, or one under HKEY_USERS while it is
// loaded). An entry of an older run names no user: the current one, as then.
struct PolicyPlace {
    const PolicySlot* slot = nullptr;
    std::string sid;  // user slots only; empty: HKEY_CURRENT_USER
};

std::string EntryName(const PolicySlot& slot, const std::string& sid) {
    return slot.user && !sid.empty() ? std::string(slot.journalName) + " " + sid : slot.journalName;
}

// The place an entry name stands for; no slot when it is none of ours. A SID
// is only digits, dashes and its "S": never a path into another key.
PolicyPlace PlaceNamed(const std::string& name) {
    for (const PolicySlot& slot : kSlots) {
        size_t n = std::strlen(slot.journalName);
        if (name.compare(0, n, slot.journalName) != 0) continue;
        if (name.size() == n) return {&slot, {}};
        std::string sid = name.substr(n + 1);
        if (slot.user && name[n] == ' ' && sid.size() > 2 && sid.compare(0, 2, "S-") == 0 &&
            sid.find_first_not_of("S-0123456789") == std::string::npos)
            return {&slot, sid};
    }
    return {};
}

// The root of the place's hive; false when it names a user whose hive is
// not loaded now.
bool OpenRoot(const PolicyPlace& place, UniqueKey& hive, HKEY& root) {
    root = place.slot->user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    if (!place.slot->user || place.sid.empty() || place.sid == CurrentUserSid()) return true;
    if (RegOpenKeyExA(HKEY_USERS, place.sid.c_str(), 0, KEY_READ | KEY_WRITE, hive.put()) != ERROR_SUCCESS)
        return false;
    root = hive.get();
    return true;
}

// The value as it is now; false when it cannot be told exactly (unreadable,
// or longer than a policy value can be), and then it is left alone.
bool ReadPolicy(const PolicyPlace& place, SavedPolicyValue& out) {
    out = SavedPolicyValue{};
    UniqueKey hive, key;
    HKEY root;
    if (!OpenRoot(place, hive, root)) return false;
    LSTATUS rc = RegOpenKeyExA(root, place.slot->key, 0, KEY_QUERY_VALUE, key.put());
    if (rc == ERROR_FILE_NOT_FOUND) return true;
    if (rc != ERROR_SUCCESS) return false;
    uint8_t data[kMaxPolicyBytes];
    DWORD type = 0, size = sizeof data;
    rc = RegQueryValueExA(key.get(), kValueName, nullptr, &type, data, &size);
    if (rc == ERROR_FILE_NOT_FOUND) return true;
    if (rc != ERROR_SUCCESS) return false;
    out.present = true;
    out.type = type;
    out.data.assign(data, data + size);
    return true;
}

// False also when the user's hive is not loaded: the entry waits for it.
bool WritePolicy(const PolicyPlace& place, const SavedPolicyValue& value) {
    UniqueKey hive, key;
    HKEY root;
    if (!OpenRoot(place, hive, root)) return false;
    if (!value.present) {
        LSTATUS rc = RegOpenKeyExA(root, place.slot->key, 0, KEY_SET_VALUE, key.put());
        if (rc == ERROR_FILE_NOT_FOUND) return true;
        if (rc != ERROR_SUCCESS) return false;
        rc = RegDeleteValueA(key.get(), kValueName);
        return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
    }
    if (RegCreateKeyExA(root, place.slot->key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    return RegSetValueExA(key.get(), kValueName, 0, value.type, value.data.data(),
                          static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS;
}

SavedPolicyValue Relaxed(const PolicySlot& slot) {
    SavedPolicyValue value;
    value.present = true;
    value.type = slot.relaxedType;
    value.data.assign(slot.relaxedType == REG_DWORD ? 4 : 1, 0);
    return value;
}

// The guard's mutex, held; null when another instance held it past the
// deadline. A holder that died leaves it abandoned: taken, and its entries
// are a dead run's.
UniqueHandle TakeGuard() {
    UniqueHandle mutex(CreateMutexA(nullptr, FALSE, kGuardMutex));
    if (!mutex) return {};
    DWORD wait = WaitForSingleObject(mutex.get(), kGuardWaitMs);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return {};
    return mutex;
}

void ReleaseGuard(UniqueHandle& mutex) {
    if (mutex) ReleaseMutex(mutex.get());
    mutex.reset();
}

// What runs that no longer run left, with the guard held.
void RestoreDeadRunsValues() {
    for (const JournalEntry& entry : JournalRead(kSection)) {
        PolicyPlace place = PlaceNamed(entry.name);
        std::string text;
        std::optional<JournalOwner> owner;
        SavedPolicyValue value;
        bool usable = place.slot && SplitOwnedValue(entry.value, text, owner) && DecodePolicyValue(text, value);
        if (usable && owner && OwnerRunning(*owner)) continue;  // its guard puts them back
        // An entry of no known slot or in no known form is dropped unused;
        // one that cannot be written back stays for the next start.
        if (usable && !WritePolicy(place, value)) {
            ReportHolvEvent(HolvEvent::HostUndoFailed,
                            "the driver-signing value " + entry.name + " (kept for the next start)");
            continue;
        }
        JournalErase(kSection, entry.name.c_str());
    }
}

}  // namespace

void SetDriverSignStepHook(DriverSignStepHook hook) {
    stepHook = hook;
}

void RestoreDriverSigningFromJournal() {
    UniqueHandle guard = TakeGuard();
    // Inside another instance's guard: the next start tries again.
    if (!guard) return;
    RestoreDeadRunsValues();
    ReleaseGuard(guard);
}

CDriverSign::CDriverSign() : guard_(TakeGuard()) {
    if (!guard_) return;
    // A run killed inside the guard left its values relaxed: put them back
    // first, or they would be saved as the user's.
    RestoreDeadRunsValues();
    std::vector<JournalEntry> pending = JournalRead(kSection);
    std::string sid = CurrentUserSid();
    std::string owner = OwnerText(CurrentJournalOwner());
    for (int i = 0; i < static_cast<int>(std::size(kSlots)); ++i) {
        PolicyPlace place{&kSlots[i], kSlots[i].user ? sid : std::string()};
        std::string name = EntryName(kSlots[i], place.sid);
        bool stillJournaled = false;
        for (const JournalEntry& entry : pending) stillJournaled |= entry.name == name;
        SavedPolicyValue before;
        if (stillJournaled || !ReadPolicy(place, before)) continue;
        // Relaxed only once the way back is on record.
        if (JournalWrite(kSection, name.c_str(), EncodePolicyValue(before) + " " + owner) != 0) continue;
        saved_.push_back({i, before});
        Reached(DriverSignStep::Saved, i);
        if (!WritePolicy(place, Relaxed(kSlots[i])))
            ReportHolvEvent(HolvEvent::HostChangeFailed, "the driver-signing value " + name);
        Reached(DriverSignStep::Relaxed, i);
    }
}

CDriverSign::~CDriverSign() {
    std::string sid = CurrentUserSid();
    for (const Saved& saved : saved_) {
        const PolicySlot& slot = kSlots[saved.slot];
        PolicyPlace place{&slot, slot.user ? sid : std::string()};
        std::string name = EntryName(slot, place.sid);
        if (WritePolicy(place, saved.value)) {
            Reached(DriverSignStep::Restored, saved.slot);
            JournalErase(kSection, name.c_str());
        } else {
            ReportHolvEvent(HolvEvent::HostUndoFailed,
                            "the driver-signing value " + name + " (kept for the next start)");
        }
    }
    ReleaseGuard(guard_);
}

}  // namespace holv
