// Whether a folder (and the files the program runs or loads from it) is an
// administrator's alone. The program runs elevated, and as the service as
// LocalSystem: what it starts from a folder a standard user may write runs
// with those rights. Decided from the security descriptor, not by trying to
// write: the system does not stop an administrator (nor Wine root).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace holv {

// The descriptor's verdict: 0 when no standard user's group (Users,
// Authenticated Users, Everyone, the interactive user) may write, append,
// delete, change the permissions or the owner, nor, for a folder, delete
// what is in it; ERROR_ACCESS_DENIED when one may (a missing DACL gives
// everyone everything). Deny entries before an allow take their rights
// away; inherit-only entries do not apply to the object itself.
int CheckDescriptorTrust(PSECURITY_DESCRIPTOR descriptor, bool folder);

// The folder and each of files in it that exists, read from the file
// system: 0, ERROR_ACCESS_DENIED with untrusted naming what failed, or the
// error of a descriptor that cannot be read (refused as well).
int CheckFolderTrust(const std::string& folder, const std::vector<std::string>& files, std::string* untrusted);

}  // namespace holv
