// The appliance's variables that the host reads and writes, by group and
// item (Part of the appliance's private MIB; see ImcOid.h for their names).
#pragma once
#include <cstdint>

namespace holv {

// The appliance's system group: its serial number and the two route lists.
inline constexpr uint16_t kGroupSystem = 0x200;
inline constexpr uint16_t kItemSerial = 0x280;
inline constexpr uint16_t kItemFirstRouteList = 0x2B8;

// The group through which the appliance and this host program talk: the
// remote-access texts, the action for the host, the host identity's
// acknowledgement and the reported registry value.
inline constexpr uint16_t kGroupHostAgent = 0xF000;
inline constexpr uint16_t kItemTrellisport = 0xF010;
inline constexpr uint16_t kItemRkConnection = 0xF011;
inline constexpr uint16_t kItemAction = 0xF080;
inline constexpr uint16_t kItemIdentityDone = 0xF090;
inline constexpr uint16_t kItemReport = 0xF092;

}  // namespace holv
