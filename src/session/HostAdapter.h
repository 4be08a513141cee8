// The host side of the VirtualBox appliance's first network card: the TAP
// adapter whose connection is named "Holvenstead Adapter", and its DHCP
// lease, renewed when the host's DNS suffixes change and released and renewed
// when no host address lies in the appliance's subnet.
#pragma once
#include <windows.h>

#include <optional>
#include <string>

namespace holv {

inline constexpr char kHostAdapterName[] = "Holvenstead Adapter";

// The calls that act on the live network of the machine (and that Wine only
// stubs): tests put a recorder in their place. adapterName is the name the
// system gives the adapter ("\DEVICE\TCPIP_{...}"); each call looks its index
// up by that name and does nothing when there is none. Failures are silent.
class AdapterControl {
public:
    virtual ~AdapterControl() = default;
    virtual void ReleaseLease(const char* adapterName) = 0;
    virtual void RenewLease(const char* adapterName) = 0;
};
AdapterControl& SystemAdapterControl();

// Whether the adapter of that interface GUID is a VirtualBox TAP adapter, in
// the network adapter class under root (HKEY_LOCAL_MACHINE on the machine).
bool IsTapAdapter(const char* guid, HKEY root = HKEY_LOCAL_MACHINE);
// The interface GUID of the first connection named exactly "Holvenstead
// Adapter" that is a TAP adapter, searched afresh under root.
std::optional<std::string> FindAdapterGuidUnder(HKEY root);
// The same on the machine, searched until found and then kept for the life
// of the process: renaming the connection later changes nothing.
std::optional<std::string> FindAdapterGuid();

// Renews the adapter's lease (the host's resolver then picks up changed
// suffixes); with release, releases it first. Nothing on hosts without it.
void RenewAdapterLease(AdapterControl& control = SystemAdapterControl(), bool release = false);

}  // namespace holv
