// Request and answer over the transport: one command frame at a time, the
// reply that belongs to it, one re-send when a known appliance goes quiet,
// and the appliance's notifications passed on to the main window.
#pragma once
#include <cstdint>
#include <memory>

#include "imc/ImcMessage.h"
#include "imc/ImcTransport.h"

namespace holv {

struct ImcConversation {
    int requestCounter = 0;
    ImcTransport transport;
    uint32_t target = kImcNoTarget;
    std::unique_ptr<ImcMessage> lastRequest;
    int targetEverSet = 0;
};

std::unique_ptr<ImcConversation> ImcConversationCreate();
void ImcConversationDestroy(std::unique_ptr<ImcConversation>& c);
void ImcConversationSetTarget(ImcConversation& c, uint32_t address);
// Takes the message, numbers and sends it. 0 or the error of encoding or
// sending.
int ImcConversationSendRequest(ImcConversation& c, std::unique_ptr<ImcMessage> message);
// 0 and the reply, or ImcErrTimeout, ImcErrTransport or another code.
int ImcConversationWaitAnswer(ImcConversation& c, std::unique_ptr<ImcMessage>& reply);

}  // namespace holv
