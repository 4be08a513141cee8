#include "imc/ImcOperations.h"

#include <cstring>
#include <memory>
#include <new>

#include "base/Text.h"
#include "imc/ImcCodes.h"
#include "imc/ImcConversation.h"
#include "imc/ImcLog.h"

namespace holv {
namespace {

std::unique_ptr<ImcConversation> g_conversation;

std::unique_ptr<ImcMessage> NewRequest(const uint8_t* mac) {
    auto m = std::unique_ptr<ImcMessage>(new (std::nothrow) ImcMessage);
    if (m && mac) std::memcpy(m->mac, mac, 6);
    return m;
}

// Sends the request and waits for its answer.
int Exchange(std::unique_ptr<ImcMessage> request, std::unique_ptr<ImcMessage>& reply) {
    if (!g_conversation) return ImcErrTransport;
    if (!request) return ImcErrNoMemory;
    int rc = ImcConversationSendRequest(*g_conversation, std::move(request));
    if (rc != ImcErrNone) return rc;
    return ImcConversationWaitAnswer(*g_conversation, reply);
}

// The error-status of a variable answer; malformed without an SNMP part.
int ErrorStatus(const ImcMessage& reply) {
    return reply.pdu ? reply.pdu->errorStatus : ImcErrMalformed;
}

void CopyField(char* out, const std::string& text) {
    if (out) CopyText(out, 100, text.c_str());
}

int SetVariable(const uint8_t* mac, const char* user, const char* password, uint16_t group, uint16_t item, uint8_t type,
                const void* value, int length) {
    auto request = NewRequest(mac);
    if (!request) return ImcErrNoMemory;
    if (ImcSetCommunity(*request, user, password) != ImcErrNone ||
        ImcSetPduType(*request, ImcPduSetRequest) != ImcErrNone ||
        ImcAddVarBind(*request, group, item, type, value, length) != ImcErrNone)
        return ImcErrNoMemory;
    std::unique_ptr<ImcMessage> reply;
    int rc = Exchange(std::move(request), reply);
    return rc == ImcErrNone ? ErrorStatus(*reply) : rc;
}

}  // namespace

int ImcCreate() {
    if (g_conversation) return 1;
    ImcLogOpenFromEnvironment();
    g_conversation = ImcConversationCreate();
    return g_conversation ? 0 : ImcNoMemory;
}

int ImcDestroy() {
    ImcConversationDestroy(g_conversation);
    return 0;
}

void ImcSetTarget(uint32_t address) {
    if (g_conversation) ImcConversationSetTarget(*g_conversation, address);
}

void ImcOpenPipe(const char* name, uint32_t serverProcessId) {
    if (g_conversation) ImcTransportOpenPipe(g_conversation->transport, name, serverProcessId);
}

uint32_t ImcAddressChanges() {
    return g_conversation ? ImcTransportAddressChanges(g_conversation->transport) : 0;
}

void ImcSetNotifyWindow(HWND window, UINT message) {
    if (g_conversation) ImcTransportSetNotifyWindow(g_conversation->transport, window, message);
}

int ImcQueryStatus(const uint8_t* mac, char* productName, char* firmware, char* deviceName, uint32_t* address,
                   uint32_t* flags) {
    auto request = NewRequest(mac);
    if (!request) return ImcNoMemory;
    ImcSetFlags(*request, ImcFlagDeviceName | ImcFlagProductName | ImcFlagFirmware);
    std::unique_ptr<ImcMessage> reply;
    int rc = Exchange(std::move(request), reply);
    if (rc == ImcErrNone) {
        CopyField(productName, (reply->flags & ImcFlagProductName) ? reply->productName : std::string());
        CopyField(firmware, (reply->flags & ImcFlagFirmware) ? reply->firmware : std::string());
        CopyField(deviceName, (reply->flags & ImcFlagDeviceName) ? reply->deviceName : std::string());
        if (address) *address = reply->sourceIp;
        if (flags) *flags = reply->flags;
    }
    return ImcMapResult(rc);
}

int ImcSendHostIdentity(const uint8_t* mac, const char* localHostName, const uint8_t* block16, const uint8_t* block128,
                        int options) {
    auto request = NewRequest(mac);
    if (!request) return ImcNoMemory;
    ImcSetLocalHostName(*request, localHostName);
    ImcSetBlock16(*request, block16);
    ImcSetBlock128(*request, block128);
    request->flags |= ImcFlagTime;
    if (options & ImcFlagHostOptions) {
        if (ImcSetCommunity(*request, "", "") != ImcErrNone ||
            ImcAddVarBind(*request, 0x8800, 0x320, ImcTagNull, nullptr, 0) != ImcErrNone)
            return ImcNoMemory;
    }
    std::unique_ptr<ImcMessage> reply;
    return ImcMapResult(Exchange(std::move(request), reply));
}

int ImcRequestShutdown(const uint8_t* mac) {
    static const uint8_t kVmware[3] = {0x00, 0x0C, 0x29};
    static const uint8_t kVirtualBox[3] = {0x08, 0x00, 0x27};
    // Only a virtual machine may be told to shut down this way.
    if (!mac || (std::memcmp(mac, kVmware, 3) != 0 && std::memcmp(mac, kVirtualBox, 3) != 0)) return ImcNotVirtual;
    auto request = NewRequest(mac);
    if (!request) return ImcNoMemory;
    ImcSetFlags(*request, ImcFlagSupplied);
    std::unique_ptr<ImcMessage> reply;
    int rc = Exchange(std::move(request), reply);
    return ImcMapResult(rc == ImcErrTimeout ? ImcErrNone : rc);
}

int ImcGetString(const uint8_t* mac, const char* user, const char* password, uint16_t group, uint16_t item, int& length,
                 char* buffer) {
    auto request = NewRequest(mac);
    if (!request) return ImcNoMemory;
    if (ImcSetCommunity(*request, user, password) != ImcErrNone ||
        ImcAddVarBind(*request, group, item, ImcTagNull, nullptr, 0) != ImcErrNone)
        return ImcNoMemory;
    std::unique_ptr<ImcMessage> reply;
    int rc = Exchange(std::move(request), reply);
    if (rc == ImcErrNone) rc = ErrorStatus(*reply);
    if (rc == ImcErrNone) {
        int stored = length < 0 ? 0 : length;
        rc = ImcTakeValue(*reply, ImcTagOctetString, buffer, stored, &stored);
        if (rc == ImcErrNone) length = stored;
    }
    return ImcMapResult(rc);
}

int ImcSetString(const uint8_t* mac, const char* user, const char* password, uint16_t group, uint16_t item, int length,
                 const char* bytes) {
    if (length < 0) length = bytes ? static_cast<int>(std::strlen(bytes)) : 0;
    return ImcMapResult(SetVariable(mac, user, password, group, item, ImcTagOctetString, bytes, length));
}

int ImcSetInteger(const uint8_t* mac, const char* user, const char* password, uint16_t group, uint16_t item,
                  uint8_t type, int32_t value) {
    // The appliance moved this variable; older firmware knows only the old
    // item, so fall back to it when the new one is unknown.
    bool moved = group == 0x8300 && item == 0xA80;
    int rc = SetVariable(mac, user, password, group, moved ? 0x8331 : item, type, &value, 4);
    if (moved && rc == 2) rc = SetVariable(mac, user, password, group, item, type, &value, 4);
    return ImcMapResult(rc);
}

}  // namespace holv
