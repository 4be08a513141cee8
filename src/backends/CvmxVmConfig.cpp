// The backend's start-up step over the VM configuration file, and the file
// as the backend's small persistent store.
#include "backends/Cvmx.h"
#include "backends/HostJournalUndo.h"
#include "base/Text.h"
#include "imc/ImcOperations.h"
#include "session/Association.h"
#include "session/VmxFile.h"
#include "session/VmxFileConnection.h"
#include "session/VmxFileIdentity.h"

namespace holv {

int Cvmx::LoadVmConfig(const std::string& path) {
    configPath = path;
    if (!ReadVmxValue("config.version")) return ERROR_BAD_FORMAT;  // 11: not a VM file

    CopyText(session.savedHostName, ReadVmxValue("appliance.hostname").value_or("").c_str());
    CopyText(session.savedSerialNo, ReadVmxValue("appliance.serialno").value_or("").c_str());
    CopyText(session.savedProductName, ReadVmxValue("appliance.productname").value_or("").c_str());

    int result = CheckInstall();
    if (result != 0 && result != ERROR_SERVICE_NOT_ACTIVE) return result;

    if (kind != KindVBox) {
        if (auto association = ReadPlayerAssociation()) netConfigCommand = NetConfigCommandFrom(association->c_str());
    }

    if (ImcCreate() != 0) return ERROR_INTERNAL_ERROR;  // 1359: no conversation with the appliance

    if (!ReadVmxValue("uuid.action")) WriteVmxValue("uuid.action", "keep");
    auto present = ReadVmxValue("ide0:1.present");
    // The appliance keeps its data on the second disk: always attach it.
    if (!present || *present != "TRUE") {
        WriteVmxValue("ide0:1.present", "TRUE");
        WriteVmxValue("ide0:1.fileName", "store.vmdk");
    }
    state = StateLoaded;
    // An earlier run may have ended with its routes or the search list still
    // changed: undone before this one changes anything.
    UndoHostJournal();
    return result;
}

std::optional<std::string> Cvmx::ReadVmxValue(const char* key) const {
    return holv::ReadVmxValue(configPath, key);
}

int Cvmx::WriteVmxValue(const char* key, const char* value) {
    return holv::WriteVmxValue(configPath, key, value);
}

int Cvmx::ReadAdapterAddresses(int sourceKind) {
    return holv::ReadAdapterAddresses(configPath, sourceKind == KindVBox, session.applianceMac, session.pipeName);
}

int Cvmx::ReadMachineUuid(uint8_t uuid[16]) const {
    return holv::ReadMachineUuid(configPath, kind == KindVBox, uuid);
}

int Cvmx::GetConnectionType() const {
    return holv::GetConnectionType(configPath);
}

int Cvmx::SetConnectionType(int index) {
    return holv::SetConnectionType(configPath, index);
}

}  // namespace holv
