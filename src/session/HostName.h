// The host's identity for the appliance: its TCP/IP host name, a digest that
// ties it to this VM and its configuration file, and fresh random bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace holv {

struct ApplianceSession;
class SessionHost;

inline constexpr int32_t kIdentityDoneValue = 14;
inline constexpr size_t kIdentityRandomSize = 128;

// MD5 over the parts in order, through the system's base cryptographic
// provider. 0, or 1 when a cryptographic step failed.
struct DigestPart {
    const void* data;
    size_t size;
};
int Md5Digest(const DigestPart* parts, size_t count, uint8_t digest[16]);

// Sends the identity message to the session's appliance and then sets the
// appliance's variable 0xF000.0xF090 to 14. Sets the session's resync and
// clears it only when the message was answered. The digest covers the host
// name, the VM's configuration path and its UUID, which the host supplies.
// Returns 0, a registry error, 1228 without a VM UUID, 1 when memory or a
// cryptographic step failed, or the send's ImcResult.
int RegisterHostName(ApplianceSession& session, const SessionHost& host, int options);

}  // namespace holv
