#include "imc/ImcOid.h"

namespace holv {

ImcOid ImcVariableName(uint32_t group, uint32_t item) {
    ImcOid name;
    const uint32_t ids[ImcVariableNameLength] = {
        1, 3, 6, 1, 4, 1, ImcEnterpriseNumber, ImcMibBranch, 1, group & 0xFFFF, item & 0xFFFF, 0};
    for (uint32_t id : ids) name.ids[name.count++] = id;
    return name;
}

}  // namespace holv
