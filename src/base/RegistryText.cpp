#include "base/RegistryText.h"

namespace holv {

LSTATUS ReadRegistryText(HKEY key, const char* name, char* text, size_t cap) {
    text[0] = '\0';
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(cap - 1);
    LSTATUS rc = ::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    if (rc != ERROR_SUCCESS) {
        text[0] = '\0';
        return rc;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        text[0] = '\0';
        return ERROR_INVALID_DATA;
    }
    text[size < cap ? size : cap - 1] = '\0';
    return ERROR_SUCCESS;
}

}  // namespace holv
