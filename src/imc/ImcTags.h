// BER tags of binding values and the SNMPv1 PDU tags a frame may carry.
#pragma once
#include <cstdint>

namespace holv {

constexpr uint8_t ImcTagBoolean = 0x01;
constexpr uint8_t ImcTagInteger = 0x02;
constexpr uint8_t ImcTagOctetString = 0x04;
constexpr uint8_t ImcTagNull = 0x05;
constexpr uint8_t ImcTagOid = 0x06;
constexpr uint8_t ImcTagEnumerated = 0x0A;
constexpr uint8_t ImcTagSequence = 0x30;
constexpr uint8_t ImcTagIpAddress = 0x40;
constexpr uint8_t ImcTagCounter = 0x41;
constexpr uint8_t ImcTagGauge = 0x42;
constexpr uint8_t ImcTagTimeTicks = 0x43;
constexpr uint8_t ImcTagApplication16 = 0x50;  // no SNMPv1 name; carried like an INTEGER

constexpr uint8_t ImcPduGetRequest = 0xA0;
constexpr uint8_t ImcPduGetNextRequest = 0xA1;
constexpr uint8_t ImcPduGetResponse = 0xA2;
constexpr uint8_t ImcPduSetRequest = 0xA3;

// The tags whose value is a 32-bit integer.
constexpr bool ImcIsIntegerType(uint8_t type) {
    return type == ImcTagBoolean || type == ImcTagInteger || type == ImcTagEnumerated ||
           type == ImcTagCounter || type == ImcTagGauge || type == ImcTagTimeTicks ||
           type == ImcTagApplication16;
}

// The PDU tags accepted: the four SNMPv1 requests and responses, and the
// appliance's own 0xF0..0xF2.
constexpr bool ImcIsPduType(uint8_t type) {
    return (type >= 0xA0 && type <= 0xA3) || (type >= 0xF0 && type <= 0xF2);
}

}  // namespace holv
