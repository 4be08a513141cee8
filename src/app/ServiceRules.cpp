#include "app/ServiceRules.h"

#include "base/Text.h"

namespace holv {

void AdvanceServiceStatus(ServiceStatusRecord& record, uint32_t& counter, uint32_t state) {
    record.controlsAccepted = state == ServiceStartPending ? 0 : kServiceAcceptStopAndShutdown;
    record.currentState = state;
    if (state == ServiceRunning || state == ServiceStopped) {
        record.checkPoint = 0;
        record.waitHint = 0;
    } else {
        record.checkPoint = counter++;
        record.waitHint = kServicePendingWaitHintMs;
    }
}

ServiceEnd ServiceEndForChildExit(uint32_t childExitCode) {
    ServiceEnd end;
    end.serviceSpecificExitCode = childExitCode;
    if (childExitCode == kChildAlreadyServed) {
        end.reportStopped = false;
    } else if (childExitCode != 0) {
        end.win32ExitCode = kServiceSpecificError;
    }
    return end;
}

namespace {
std::string FormatCommandLine(const char* format, const char* programPath, const char* arguments) {
    char line[kServiceCommandLineMax + 1];
    FormatText(line, sizeof line, format, programPath ? programPath : "", arguments ? arguments : "");
    return line;
}
}  // namespace

std::string ServiceStartCommandLine(const char* programPath, const char* arguments) {
    return FormatCommandLine("\"%s\" -start %s", programPath, arguments);
}

std::string ServiceStopCommandLine(const char* programPath, const char* arguments) {
    return FormatCommandLine("\"%s\" -stop -exit %s", programPath, arguments);
}

std::string ServiceBinaryPath(const char* programPath) {
    std::string path = programPath ? programPath : "";
    if (path.find_first_of(" \t") == std::string::npos) return path;
    return "\"" + path + "\"";
}

}  // namespace holv
