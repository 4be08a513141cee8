// VBoxManage.exe stand-in: the command lines the program runs, answered as
// VirtualBox would, with the effects the program looks for afterwards (the
// adapter's registry entries, the machine file, the appliance's power).
// Every invocation is traced first; see README.md for the knobs.
#include <windows.h>

#include <string>
#include <vector>

#include "CommandWords.h"
#include "HostAdapters.h"
#include "MachineFile.h"
#include "VBoxStandIn.h"
#include "VmPower.h"

using namespace holv;
using namespace holv::vbox;

namespace {

using Words = std::vector<std::string>;

constexpr int kFailed = 1;
constexpr char kBanner[] = "VirtualBox Command Line Management Interface (stand-in)\n\n";

int SyntaxError(const std::string& what) {
    PrintError("Syntax error: " + what + "\n");
    return kFailed;
}

int Failed(const std::string& error) {
    PrintError("[!] " + error + "\n");
    return kFailed;
}

// "list hostifs": the configured text (exactly) and exit code, or the
// adapters that exist, so the setup's own createhostif shows up in the next
// listing.
int ListHostInterfaces(const StandInSettings& s, const Words& w) {
    if (w.size() != 3 || w[2] != "hostifs") return SyntaxError("list supports hostifs only");
    auto output = s.values.find("list-output");
    if (output != s.values.end())
        Print(standin::Unescape(output->second));
    else
        Print(kBanner + FormatHostAdapters(ListTapAdapters()));
    return static_cast<int>(standin::NumberOr(s.values, "list-exit", 0));
}

int CreateHostInterface(const Words& w) {
    if (w.size() != 3) return SyntaxError("createhostif NAME");
    std::string guid;
    const LONG rc = CreateTapAdapter(w[2], &guid);
    if (rc == ERROR_ALREADY_EXISTS) return Failed("Host interface '" + w[2] + "' already exists");
    if (rc != ERROR_SUCCESS) return Failed("Could not create the host interface (error " + std::to_string(rc) + ")");
    Print(kBanner + std::string("Host interface '") + w[2] + "' was successfully created\nGUID: " + guid + "\n");
    return 0;
}

// createvm -name NAME [-register] [-uuid UUID]; the file is written either
// way, as registration is not modelled.
int CreateVm(const Words& w) {
    std::string name, uuid;
    for (size_t i = 2; i < w.size(); ++i) {
        if (w[i] == "-name" && i + 1 < w.size())
            name = w[++i];
        else if (w[i] == "-uuid" && i + 1 < w.size())
            uuid = w[++i];
        else if (w[i] != "-register")
            return SyntaxError("createvm does not take '" + w[i] + "'");
    }
    if (name.empty()) return SyntaxError("createvm -name NAME");
    std::string error;
    if (CreateMachine(name, uuid, &error) != 0) return Failed(error);
    Print(kBanner + std::string("Virtual machine '") + name + "' is created and registered.\nSettings file: '" +
          MachineFilePath(name) + "'\n");
    return 0;
}

int ModifyVm(const Words& w) {
    if (w.size() < 3) return SyntaxError("modifyvm NAME OPTIONS");
    std::string error;
    if (ModifyMachine(w[2], Words(w.begin() + 3, w.end()), &error) != 0) return Failed(error);
    return 0;
}

int ControlVm(const StandInSettings& s, const Words& w) {
    if (w.size() != 4 || w[3] != "poweroff") return SyntaxError("controlvm NAME poweroff");
    return PowerOffVm(s, w[2]);
}

// Commands whose effect lies outside anything the program or the tests read.
bool TracedOnly(const Words& w) {
    static const char* const kCommands[] = {"enablehostif", "disablehostif", "registerimage", "setproperty",
                                            "internalcommands"};
    for (const char* c : kCommands)
        if (w[1] == c) return w.size() >= 3;
    return false;
}

int Dispatch(const StandInSettings& s, const Words& w) {
    if (w[1] == "list") return ListHostInterfaces(s, w);
    if (w[1] == "createhostif") return CreateHostInterface(w);
    if (w[1] == "createvm") return CreateVm(w);
    if (w[1] == "modifyvm") return ModifyVm(w);
    if (w[1] == "controlvm") return ControlVm(s, w);
    if (TracedOnly(w)) return 0;
    return SyntaxError("unknown command '" + w[1] + "'");
}

}  // namespace

int main() {
    const char* commandLine = GetCommandLineA();
    const Words w = standin::CommandWords(commandLine);
    const StandInSettings settings = LoadSettings();
    const int early = BeginInvocation(settings, w.size() > 1 ? w[1] : "", commandLine);
    if (early >= 0) return early;
    if (w.size() < 2) return SyntaxError("no command");
    return Dispatch(settings, w);
}
