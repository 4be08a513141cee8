#include "backends/CDriverSign.h"

#include <windows.h>

#include "base/Unique.h"
#include "session/HostJournal.h"

namespace holv {
namespace {

constexpr char kSection[] = "DriverSigning";

// The policies the driver installation asks about: for drivers and for other
// files, the machine's (a byte) and the user's (a DWORD, which wins where it
// is stricter). 0 means "install without asking".
struct PolicySlot {
    const char* journalName;
    HKEY root;
    const char* key;
    DWORD relaxedType;
};
const PolicySlot kSlots[] = {
    {"HKLM Driver Signing", HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Driver Signing", REG_BINARY},
    {"HKLM Non-Driver Signing", HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Non-Driver Signing", REG_BINARY},
    {"HKCU Driver Signing", HKEY_CURRENT_USER, "Software\\Microsoft\\Driver Signing", REG_DWORD},
    {"HKCU Non-Driver Signing", HKEY_CURRENT_USER, "Software\\Microsoft\\Non-Driver Signing", REG_DWORD},
};
constexpr char kValueName[] = "Policy";

// The value as it is now; false when it cannot be told exactly (unreadable,
// or longer than a policy value can be), and then it is left alone.
bool ReadPolicy(const PolicySlot& slot, SavedPolicyValue& out) {
    out = SavedPolicyValue{};
    UniqueKey key;
    LSTATUS rc = RegOpenKeyExA(slot.root, slot.key, 0, KEY_QUERY_VALUE, key.put());
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

bool WritePolicy(const PolicySlot& slot, const SavedPolicyValue& value) {
    UniqueKey key;
    if (!value.present) {
        LSTATUS rc = RegOpenKeyExA(slot.root, slot.key, 0, KEY_SET_VALUE, key.put());
        if (rc == ERROR_FILE_NOT_FOUND) return true;
        if (rc != ERROR_SUCCESS) return false;
        rc = RegDeleteValueA(key.get(), kValueName);
        return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
    }
    if (RegCreateKeyExA(slot.root, slot.key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) !=
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

const PolicySlot* SlotNamed(const std::string& name) {
    for (const PolicySlot& slot : kSlots) {
        if (name == slot.journalName) return &slot;
    }
    return nullptr;
}

}  // namespace

void RestoreDriverSigningFromJournal() {
    for (const JournalEntry& entry : JournalRead(kSection)) {
        const PolicySlot* slot = SlotNamed(entry.name);
        SavedPolicyValue value;
        // An entry of no known slot or in no known form is dropped unused;
        // one that cannot be written back stays for the next start.
        if (slot && DecodePolicyValue(entry.value, value) && !WritePolicy(*slot, value)) continue;
        JournalErase(kSection, entry.name.c_str());
    }
}

CDriverSign::CDriverSign() {
    // A run killed inside the guard left its values relaxed: put them back
    // first, or they would be saved as the user's.
    RestoreDriverSigningFromJournal();
    std::vector<JournalEntry> pending = JournalRead(kSection);
    for (int i = 0; i < static_cast<int>(std::size(kSlots)); ++i) {
        const PolicySlot& slot = kSlots[i];
        bool stillJournaled = false;
        for (const JournalEntry& entry : pending) stillJournaled |= entry.name == slot.journalName;
        SavedPolicyValue before;
        if (stillJournaled || !ReadPolicy(slot, before)) continue;
        // Relaxed only once the way back is on record.
        if (JournalWrite(kSection, slot.journalName, EncodePolicyValue(before)) != 0) continue;
        saved_.push_back({i, before});
        WritePolicy(slot, Relaxed(slot));
    }
}

CDriverSign::~CDriverSign() {
    for (const Saved& saved : saved_) {
        const PolicySlot& slot = kSlots[saved.slot];
        if (WritePolicy(slot, saved.value)) JournalErase(kSection, slot.journalName);
    }
}

}  // namespace holv
