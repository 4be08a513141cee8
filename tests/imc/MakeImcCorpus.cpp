// Writes the fuzzer's seed frames into a folder: one file for each kind of
// frame the program sends or receives. Run once; the files are kept in
// tests/imc/corpus.
#include <cstdio>
#include <cstring>
#include <string>

#include "imc/ImcCodes.h"
#include "imc/ImcFrame.h"
#include "imc/ImcMessage.h"

namespace {

using namespace holv;

const uint8_t kMac[6] = {0x00, 0x0C, 0x29, 0x12, 0x34, 0x56};

uint32_t FixedClock() {
    return 0x5F5E1000;
}

ImcMessage Make(int kind, uint32_t flags) {
    ImcMessage m;
    m.kind = kind;
    std::memcpy(m.mac, kMac, 6);
    m.flags = flags;
    return m;
}

bool Write(const std::string& folder, const char* name, ImcMessage& m) {
    ImcBuffer frame;
    if (EncodeFrame(m, frame, FixedClock) != ImcErrNone) return false;
    std::string path = folder + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    size_t n = static_cast<size_t>(ImcBufferRemaining(frame));
    bool ok = std::fwrite(ImcBufferData(frame), 1, n, f) == n;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    bool ok = true;

    ImcMessage query = Make(1, 0x382);
    ok &= Write(folder, "status-query", query);

    ImcMessage shutdown = Make(1, ImcFlagSupplied);
    ok &= Write(folder, "shutdown", shutdown);

    ImcMessage status = Make(0, 0x382 | ImcFlagBlock16 | ImcFlagHostOptions);
    status.deviceName = "rk-appliance";
    status.productName = "Holvenstead";
    status.firmware = "6.0.0.15432";
    ok &= Write(folder, "status-reply", status);

    ImcMessage notify = Make(0, 0);
    notify.notification = 1;
    ok &= Write(folder, "notification", notify);

    ImcMessage identity = Make(1, ImcFlagTime);
    uint8_t b16[16], b128[128];
    std::memset(b16, 0x16, sizeof b16);
    std::memset(b128, 0x28, sizeof b128);
    ImcSetLocalHostName(identity, "HOST-PC");
    ImcSetBlock16(identity, b16);
    ImcSetBlock128(identity, b128);
    ImcSetCommunity(identity, "", "");
    ImcAddVarBind(identity, 34816, 800, ImcTagNull, nullptr, 0);
    ok &= Write(folder, "host-identity", identity);

    ImcMessage response = Make(0, ImcFlagLongWait);
    ImcSetCommunity(response, "", "");
    ImcSetPduType(response, ImcPduGetResponse);
    std::string text(512, 's');
    ImcAddVarBind(response, 0xF000, 0xF080, ImcTagOctetString, text.data(), 512);
    ok &= Write(folder, "get-response-512", response);

    ImcMessage set = Make(1, ImcFlagLongWait);
    ImcSetCommunity(set, "", "");
    ImcSetPduType(set, ImcPduSetRequest);
    const int32_t fourteen = 14;
    ImcAddVarBind(set, 0xF000, 0xF090, ImcTagInteger, &fourteen, 4);
    ok &= Write(folder, "set-integer", set);

    ImcMessage types = Make(0, 0x7FC | ImcFlagLocalHostName);
    types.text40 = "t40";
    types.text400 = "t400";
    types.localHostName = "pc";
    types.block16.reset(new ImcBlock16{});
    ImcSetCommunity(types, "a", "b");
    ImcSetPduType(types, 0xF0);
    const uint8_t ip[4] = {192, 168, 1, 2};
    const uint32_t oid[4] = {1, 3, 6, 300};
    const int32_t minus = -129;
    ImcAddVarBind(types, 1, 1, ImcTagCounter, &minus, 4);
    ImcAddVarBind(types, 1, 2, ImcTagIpAddress, ip, 4);
    ImcAddVarBind(types, 1, 3, ImcTagOid, oid, 4);
    ImcAddVarBind(types, 1, 4, ImcTagApplication16, &minus, 4);
    ImcAddVarBind(types, 1, 5, ImcTagNull, nullptr, 0);
    ok &= Write(folder, "all-fields-and-types", types);

    return ok ? 0 : 1;
}
