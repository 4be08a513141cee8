#include "backends/VBoxSystemSetup.h"

#include <windows.h>

#include "backends/CDriverSign.h"
#include "backends/TapDriver.h"
#include "backends/VBoxCommands.h"
#include "base/SystemFolder.h"
#include "base/Text.h"
#include "host/ProcessLaunch.h"

namespace holv {
namespace {

bool FileExists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

bool VBoxSystemSetup::ToolPresent() {
    return FileExists((CurrentFolder() + "\\" + kVBoxTool).c_str());
}

int VBoxSystemSetup::RunCaptured(const std::string& line, std::string& output) {
    std::optional<std::string> captured;
    int rc = RunCommandCaptured(&captured, "%s", VBoxLineInFolder(CurrentFolder(), line).c_str());
    output = captured.value_or("");
    return rc;
}

void VBoxSystemSetup::Run(const std::string& line, int waitMs) {
    RunCommandBounded(waitMs, CREATE_NO_WINDOW, "%s", VBoxLineInFolder(CurrentFolder(), line).c_str());
}

bool VBoxSystemSetup::MachineFileExists() {
    return FileExists(kVBoxMachineFile);
}

void VBoxSystemSetup::WithDriverSigningRelaxed(const std::function<void()>& step) {
    CDriverSign guard;
    step();
}

void VBoxSystemSetup::InstallTapDriver() {
    char folder[MAX_PATH + 1] = {};
    DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder) return;  // a folder we cannot name has no INF we can name
    char inf[MAX_PATH + 16];
    FormatText(inf, sizeof inf, "%s\\VBoxTAP.inf", folder);
    holv::InstallTapDriver(inf);
}

}  // namespace holv
