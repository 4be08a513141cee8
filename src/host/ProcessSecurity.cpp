#include "host/ProcessSecurity.h"

#include <sddl.h>

namespace holv {

UniqueLocal DescriptorFromSddl(const char* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
        return UniqueLocal();
    }
    return UniqueLocal(descriptor);
}

namespace {
void Fill(SECURITY_ATTRIBUTES* attributes, const UniqueLocal& descriptor) {
    attributes->nLength = sizeof *attributes;
    attributes->lpSecurityDescriptor = descriptor.get();
    attributes->bInheritHandle = FALSE;
}
}  // namespace

ProcessSecurity::ProcessSecurity()
    : processDescriptor_(DescriptorFromSddl(kProcessSddl)), threadDescriptor_(DescriptorFromSddl(kThreadSddl)) {
    Fill(&process_, processDescriptor_);
    Fill(&thread_, threadDescriptor_);
}

SECURITY_ATTRIBUTES* ProcessSecurity::ProcessAttributes() {
    return processDescriptor_ ? &process_ : nullptr;
}

SECURITY_ATTRIBUTES* ProcessSecurity::ThreadAttributes() {
    return threadDescriptor_ ? &thread_ : nullptr;
}

}  // namespace holv
