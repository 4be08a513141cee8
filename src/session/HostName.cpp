#include "session/HostName.h"

#include <windows.h>
// After windows.h, which it builds on.
#include <wincrypt.h>

#include <cstring>
#include <memory>
#include <new>

#include "base/RegistryText.h"
#include "base/Unique.h"
#include "imc/ImcOperations.h"
#include "imc/ImcTags.h"
#include "imc/ImcVariables.h"
#include "session/ApplianceSession.h"
#include "session/SearchList.h"
#include "session/VmxFileIdentity.h"

namespace holv {
namespace {

constexpr int kCryptoFailed = 1;

struct CryptProviderTraits {
    using Type = HCRYPTPROV;
    static Type invalid() { return 0; }
    static void close(Type p) { ::CryptReleaseContext(p, 0); }
};
struct CryptHashTraits {
    using Type = HCRYPTHASH;
    static Type invalid() { return 0; }
    static void close(Type h) { ::CryptDestroyHash(h); }
};
using UniqueCryptProvider = Unique<CryptProviderTraits>;
using UniqueCryptHash = Unique<CryptHashTraits>;

// A verify-only context: nothing is signed or stored, so no key container.
int AcquireProvider(UniqueCryptProvider& provider) {
    return CryptAcquireContextA(provider.put(), nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)
               ? 0
               : kCryptoFailed;
}

int HashParts(HCRYPTPROV provider, const DigestPart* parts, size_t count, uint8_t digest[16]) {
    UniqueCryptHash hash;
    if (!CryptCreateHash(provider, CALG_MD5, 0, 0, hash.put())) return kCryptoFailed;
    for (size_t i = 0; i < count; ++i) {
        if (!CryptHashData(hash.get(), static_cast<const BYTE*>(parts[i].data), static_cast<DWORD>(parts[i].size), 0))
            return kCryptoFailed;
    }
    DWORD size = 16;
    return CryptGetHashParam(hash.get(), HP_HASHVAL, digest, &size, 0) && size == 16 ? 0 : kCryptoFailed;
}

// "Hostname" of the TCP/IP parameters: its size first, then the value into a
// heap block one byte larger, so a value stored without its NUL still ends.
int ReadHostName(std::unique_ptr<char[]>& name) {
    UniqueKey key;
    LSTATUS rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTcpipParametersKey, 0, KEY_QUERY_VALUE, key.put());
    if (rc != ERROR_SUCCESS) return static_cast<int>(rc);
    DWORD size = 0;
    rc = RegQueryValueExA(key.get(), "Hostname", nullptr, nullptr, nullptr, &size);
    if (rc != ERROR_SUCCESS) return static_cast<int>(rc);
    name.reset(new (std::nothrow) char[size + 1]);
    if (!name) return kCryptoFailed;
    return static_cast<int>(ReadRegistryText(key.get(), "Hostname", name.get(), size + 1));
}

}  // namespace

int Md5Digest(const DigestPart* parts, size_t count, uint8_t digest[16]) {
    UniqueCryptProvider provider;
    if (int rc = AcquireProvider(provider)) return rc;
    return HashParts(provider.get(), parts, count, digest);
}

int RegisterHostName(ApplianceSession& session, const SessionHost& host, int options) {
    session.resync = 1;  // cleared only by an answered registration
    std::unique_ptr<char[]> hostName;
    if (int rc = ReadHostName(hostName)) return rc;
    UniqueCryptProvider provider;
    if (int rc = AcquireProvider(provider)) return rc;
    uint8_t uuid[16];
    if (host.ReadVmUuid(uuid) != 0) return kNoIdentity;

    const std::string& path = host.VmConfigPath();
    const DigestPart parts[] = {
        {hostName.get(), std::strlen(hostName.get())}, {path.c_str(), path.size()}, {uuid, sizeof uuid}};
    uint8_t digest[16];
    if (int rc = HashParts(provider.get(), parts, 3, digest)) return rc;
    // Fresh on every registration: the appliance tells a new registration
    // from a repeated one by these bytes.
    uint8_t random[kIdentityRandomSize];
    if (!CryptGenRandom(provider.get(), sizeof random, random)) return kCryptoFailed;

    int result = ImcSendHostIdentity(session.applianceMac, hostName.get(), digest, random, options);
    if (result == ImcOk) {
        session.resync = 0;
        ImcSetInteger(session.applianceMac, "", "", kGroupHostAgent, kItemIdentityDone, ImcTagInteger,
                      kIdentityDoneValue);
    }
    return result;
}

}  // namespace holv
