#include "session/HostJournal.h"

// clang-format off
#include <winsock2.h>  // before windows.h, which the owners bring in
#include <windows.h>
// clang-format on

#include "base/Text.h"
#include "base/Unique.h"

namespace holv {
namespace {

// "SOFTWARE\Holvenstead\Journal\" + a section name cut to fit.
void SectionPath(char (&path)[MAX_PATH], const char* section) {
    FormatText(path, sizeof path, "%s\\%s", kJournalKey, section);
}

// The creation time of a process as a number; 0 when it cannot be read.
uint64_t CreationTime(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return static_cast<uint64_t>(created.dwHighDateTime) << 32 | created.dwLowDateTime;
}

}  // namespace

int JournalWrite(const char* section, const char* name, const std::string& value) {
    char path[MAX_PATH];
    SectionPath(path, section);
    UniqueKey key;
    LSTATUS rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    char valueName[kJournalNameMax + 1];
    CopyText(valueName, name);
    std::string text = value.substr(0, kJournalValueMax);
    rc = RegSetValueExA(key.get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
    if (rc != ERROR_SUCCESS) return rc;
    // The registry writes lazily; a power cut right after the change must
    // still find the note.
    return RegFlushKey(key.get());
}

int JournalErase(const char* section, const char* name) {
    char path[MAX_PATH];
    SectionPath(path, section);
    UniqueKey key;
    LSTATUS rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE, key.put());
    if (rc == ERROR_FILE_NOT_FOUND) return 0;
    if (rc != ERROR_SUCCESS) return rc;
    char valueName[kJournalNameMax + 1];
    CopyText(valueName, name);
    rc = RegDeleteValueA(key.get(), valueName);
    return rc == ERROR_FILE_NOT_FOUND ? 0 : rc;
}

size_t JournalCount() {
    UniqueKey root;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kJournalKey, 0, KEY_READ, root.put()) != ERROR_SUCCESS) return 0;
    size_t count = 0;
    for (DWORD i = 0;; ++i) {
        char name[kJournalNameMax + 1];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(root.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        count += JournalRead(name).size();
    }
    return count;
}

std::vector<JournalEntry> JournalRead(const char* section) {
    std::vector<JournalEntry> entries;
    char path[MAX_PATH];
    SectionPath(path, section);
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return entries;
    for (DWORD i = 0;; ++i) {
        char name[kJournalNameMax + 1];
        DWORD nameLength = sizeof name;
        BYTE data[kJournalValueMax + 2];     // the longest value we write, its NUL
        DWORD dataLength = sizeof data - 1;  // and room for a terminator
        DWORD type = 0;
        LSTATUS rc = RegEnumValueA(key.get(), i, name, &nameLength, nullptr, &type, data, &dataLength);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc == ERROR_MORE_DATA) {
            // Either part too long. A name that fits still names an entry
            // its owner can drop; the value then reads as empty.
            nameLength = sizeof name;
            dataLength = 0;
            type = REG_NONE;
            rc = RegEnumValueA(key.get(), i, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
        }
        if (rc != ERROR_SUCCESS) {
            if (rc == ERROR_MORE_DATA) continue;  // a name longer than any of ours
            break;
        }
        JournalEntry entry;
        entry.name.assign(name, nameLength);
        if (type == REG_SZ) {
            data[dataLength] = 0;  // the registry does not promise one
            entry.value = reinterpret_cast<const char*>(data);
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

JournalOwner CurrentJournalOwner() {
    return {GetCurrentProcessId(), CreationTime(GetCurrentProcess())};
}

bool OwnerRunning(const JournalOwner& owner) {
    JournalOwner self = CurrentJournalOwner();
    if (owner.processId == self.processId) return owner.createdAt != 0 && owner.createdAt == self.createdAt;
    UniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, owner.processId));
    // Systems before Vista know no limited query right: the id alone decides there.
    if (!process && GetLastError() != ERROR_INVALID_PARAMETER)
        process.reset(OpenProcess(SYNCHRONIZE, FALSE, owner.processId));
    if (!process) return GetLastError() != ERROR_INVALID_PARAMETER;
    if (WaitForSingleObject(process.get(), 0) != WAIT_TIMEOUT) return false;
    // A creation time that cannot be read cannot tell the runs apart: the id decides.
    uint64_t created = CreationTime(process.get());
    return created == 0 || SameRun(owner, {owner.processId, created});
}

}  // namespace holv
