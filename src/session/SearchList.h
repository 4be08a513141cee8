// The host's DNS suffix search list, edited for the appliance and put back
// afterwards. The user's own list is kept in "SearchListBackupSC" beside
// "SearchList" while the appliance's list is in place, so a restore works
// also at the next start after a crash.
#pragma once
#include <windows.h>

#include <optional>
#include <string>

namespace holv {

inline constexpr char kTcpipParametersKey[] = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";
inline constexpr char kHostAdapterName[] = "Holvenstead Adapter";

// The calls that act on the live network of the machine (and that Wine only
// stubs): tests put a recorder in their place.
class AdapterControl {
public:
    virtual ~AdapterControl() = default;
    // Renews the DHCP lease of the adapter the system names adapterName
    // ("\DEVICE\TCPIP_{...}"); failures are silent.
    virtual void RenewLease(const char* adapterName) = 0;
};
AdapterControl& SystemAdapterControl();

// The interface GUID of the "Holvenstead Adapter" connection that is a
// VirtualBox TAP adapter. Once found it is kept for the life of the process.
std::optional<std::string> FindAdapterGuid();

// Renews the lease of the host-only adapter of the VirtualBox appliance, so
// the host's resolver picks up the changed suffixes; nothing happens on hosts
// without that adapter.
void RenewAdapterLease(AdapterControl& control = SystemAdapterControl());

// With a template: applies it (the first time backing the user's list up).
// With null: puts the user's list back if the program had changed it.
// Registry failures are silent: an unopenable key leaves everything as is.
void UpdateSearchList(const char* suffixTemplate, AdapterControl& control = SystemAdapterControl());

// The search list's section of the host-change journal: one entry, there
// from just before the backup is written until it is deleted.
inline constexpr char kSearchListJournalSection[] = "SearchList";

// At start-up: puts back a list a run that did not end cleanly left changed,
// and drops the journal's mark once there is no backup (also a backup left
// by a run from before the journal, since the backup's presence alone says
// the list is changed).
void UndoJournalSearchList(AdapterControl& control = SystemAdapterControl());

}  // namespace holv
