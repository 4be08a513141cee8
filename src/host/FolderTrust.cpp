#include "host/FolderTrust.h"

#include <aclapi.h>
#include <sddl.h>

#include "base/Unique.h"

namespace holv {
namespace {

// The groups every standard user's token holds.
constexpr const char* kUntrustedSids[] = {"S-1-5-32-545", "S-1-5-11", "S-1-1-0", "S-1-5-4"};

// Rights that let the holder replace or change what the program runs.
constexpr DWORD kFileWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC | WRITE_OWNER;

// Whether sid is one of the standard users' groups.
bool IsUntrusted(PSID sid) {
    for (const char* text : kUntrustedSids) {
        PSID known = nullptr;
        if (!::ConvertStringSidToSidA(text, &known)) continue;
        UniqueLocal hold(known);
        if (::EqualSid(sid, known)) return true;
    }
    return false;
}

// The ACE's rights with generic ones turned into the file's own.
DWORD FileRights(ACCESS_MASK mask) {
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    ::MapGenericMask(&mask, &mapping);
    return mask;
}

}  // namespace

int CheckDescriptorTrust(PSECURITY_DESCRIPTOR descriptor, bool folder) {
    const DWORD dangerous = kFileWriteRights | (folder ? FILE_DELETE_CHILD : 0);
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    // An owner may always change the permissions.
    if (::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) && owner && IsUntrusted(owner))
        return ERROR_ACCESS_DENIED;
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) return static_cast<int>(GetLastError());
    if (!present || !dacl) return ERROR_ACCESS_DENIED;
    // As the system reads the list for a token holding all those groups:
    // in order, a right once denied is not granted by a later entry.
    DWORD denied = 0, granted = 0;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(dacl, i, &entry)) continue;
        auto* header = static_cast<ACE_HEADER*>(entry);
        if (header->AceFlags & INHERIT_ONLY_ACE) continue;
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE) {
            auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
            if (IsUntrusted(&ace->SidStart)) granted |= FileRights(ace->Mask) & ~denied;
        } else if (header->AceType == ACCESS_DENIED_ACE_TYPE) {
            auto* ace = static_cast<ACCESS_DENIED_ACE*>(entry);
            if (IsUntrusted(&ace->SidStart)) denied |= FileRights(ace->Mask);
        }
    }
    return (granted & dangerous) ? ERROR_ACCESS_DENIED : 0;
}

int CheckFolderTrust(const std::string& folder, const std::vector<std::string>& files, std::string* untrusted) {
    auto check = [untrusted](const std::string& path, bool isFolder) -> int {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        DWORD rc = ::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT,
                                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                           nullptr, nullptr, &descriptor);
        UniqueLocal hold(descriptor);
        int result = rc != ERROR_SUCCESS ? static_cast<int>(rc) : CheckDescriptorTrust(descriptor, isFolder);
        if (result && untrusted) *untrusted = path;
        return result;
    };
    if (int rc = check(folder, true)) return rc;
    for (const std::string& name : files) {
        std::string path = folder + (folder.empty() || folder.back() == '\\' ? "" : "\\") + name;
        if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        if (int rc = check(path, false)) return rc;
    }
    return 0;
}

}  // namespace holv
