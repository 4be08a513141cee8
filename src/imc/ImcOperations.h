// What the rest of the program asks of the appliance. Each request builds one
// message, sends it through the one conversation, waits for the answer and
// takes out what the caller needs. Outputs are written only on success.
#pragma once
#include <windows.h>

#include <cstdint>

#include "imc/ImcMatch.h"  // ImcMapResult

namespace holv {

enum ImcResult : int {
    ImcOk = 0,
    ImcRefused = 1,   // error-status 2, 3 or 4
    ImcNoAccess = 2,  // error-status 6
    ImcFailed = 3,    // anything else
    ImcNoMemory = 5,
    ImcNotVirtual = 6,  // shutdown asked of a MAC that is no virtual machine's
};

// 0 created, 1 it existed already, 5 out of memory.
int ImcCreate();
int ImcDestroy();
void ImcSetTarget(uint32_t address);
// Only a pipe that process `serverProcessId` serves is used.
void ImcOpenPipe(const char* name, uint32_t serverProcessId);
// Changes of the host's address list seen so far (0 without a conversation).
uint32_t ImcAddressChanges();
// Input notices are posted to window as `message`; null stops them.
void ImcSetNotifyWindow(HWND window, UINT message);

// Buffers of 100 bytes, each may be null; texts cut to 99 characters.
int ImcQueryStatus(const uint8_t* mac, char* productName, char* firmware, char* deviceName, uint32_t* address,
                   uint32_t* flags);
int ImcSendHostIdentity(const uint8_t* mac, const char* localHostName, const uint8_t* block16, const uint8_t* block128,
                        int options);
int ImcRequestShutdown(const uint8_t* mac);
// length: capacity on entry, bytes stored on return; no terminator added.
int ImcGetString(const uint8_t* mac, const char* user, const char* password, uint16_t group, uint16_t item, int& length,
                 char* buffer);
// length < 0: the terminated text's length.
int ImcSetString(const uint8_t* mac, const char* user, const char* password, uint16_t group, uint16_t item, int length,
                 const char* bytes);
int ImcSetInteger(const uint8_t* mac, const char* user, const char* password, uint16_t group, uint16_t item,
                  uint8_t type, int32_t value);

}  // namespace holv
