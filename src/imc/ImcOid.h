// Object identifiers and the names of the appliance's variables.
#pragma once
#include <cstdint>

namespace holv {

// A decoded name never holds more sub-identifiers than this; longer ones are
// rejected as malformed rather than cut, so a name is never misread.
constexpr int ImcOidCapacity = 32;

struct ImcOid {
    int count = 0;
    uint32_t ids[ImcOidCapacity] = {};
};

// Our private enterprise number: the seventh sub-identifier of every
// appliance variable (1.3.6.1.4.1.<this>). The appliance's private MIB is
// registered under it, so it must be the value the appliance firmware uses;
// change it here and nowhere else.
constexpr uint32_t ImcEnterpriseNumber = 61253;

// The appliance's variables live under 1.3.6.1.4.1.<enterprise>.8888.1 and
// are addressed by a group and an item, each a 16-bit number.
constexpr uint32_t ImcMibBranch = 8888;
constexpr int ImcVariableNameLength = 12;

// The full name of variable group.item:
// 1.3.6.1.4.1.<ImcEnterpriseNumber>.8888.1.group.item.0. Numbers above 65535
// are cut to their low 16 bits.
ImcOid ImcVariableName(uint32_t group, uint32_t item);

}  // namespace holv
