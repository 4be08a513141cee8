#include "backends/VBoxCommands.h"

#include "base/Text.h"

namespace holv {
namespace {

// Long enough for the longest line (modifyvm with both disks).
constexpr size_t kLineSize = 512;

std::string Hex(const uint8_t* bytes, size_t count, const char* format) {
    std::string text;
    char pair[3];
    for (size_t i = 0; i < count; ++i) {
        FormatText(pair, sizeof pair, format, bytes[i]);
        text += pair;
    }
    return text;
}

template <typename... Args>
std::string Line(const char* format, Args... args) {
    char line[kLineSize];
    FormatText(line, sizeof line, format, args...);
    return line;
}

}  // namespace

std::string VBoxUuidText(const uint8_t uuid[16]) {
    return Hex(uuid, 4, "%02x") + "-" + Hex(uuid + 4, 2, "%02x") + "-" + Hex(uuid + 6, 2, "%02x") + "-" +
           Hex(uuid + 8, 2, "%02x") + "-" + Hex(uuid + 10, 6, "%02x");
}

std::string VBoxMacText(const uint8_t mac[6]) {
    return Hex(mac, 6, "%02X");
}

const std::vector<std::string>& VBoxRepairCommands() {
    static const std::vector<std::string> lines = {
        "VBoxSVC.exe /ReRegServer",
        "regsvr32 /s /u VBoxC.dll",
        "regsvr32 /s VBoxC.dll",
        "VBoxManage internalcommands moduninstall",
        "VBoxManage internalcommands modinstall",
        "VBoxManage setproperty loghistorycount 0",
    };
    return lines;
}

std::string VBoxCreateAdapterCommand() {
    return Line("VBoxManage createhostif \"%s Adapter\"", kVBoxVmName);
}

std::vector<std::string> VBoxCreateVmCommands(const std::string& uuidText, const std::string& macText) {
    const char* vm = kVBoxVmName;
    return {
        Line("VBoxManage createvm -name %s -register%s%s", vm, uuidText.empty() ? "" : " -uuid ", uuidText.c_str()),
        Line("VBoxManage registerimage disk .\\%s.vmdk", vm),
        "VBoxManage registerimage disk .\\store.vmdk",
        Line("VBoxManage modifyvm %s -memory 32mb -vram 1mb -acpi off -biosbootmenu disabled -bioslogofadein off "
             "-bioslogofadeout off -bioslogodisplaytime 1 -boot1 disk -boot2 none -boot3 none -hda .\\%s.vmdk "
             "-hdb .\\store.vmdk -nic1 none -nic2 nat -clipboard disabled",
             vm, vm),
        Line("VBoxManage modifyvm %s -nic1 hostif -hostifdev1 \"%s Adapter\" -macaddress1 %s "
             "-natnet2 10.127.128.160/27",
             vm, vm, macText.empty() ? "auto" : macText.c_str()),
    };
}

std::string VBoxEnableAdapterCommand() {
    return Line("VBoxManage enablehostif \"%s Adapter\"", kVBoxVmName);
}
std::string VBoxDisableAdapterCommand() {
    return Line("VBoxManage disablehostif \"%s Adapter\"", kVBoxVmName);
}

std::string VBoxFrontEndCommand(bool show) {
    return Line("%s %s", show ? "VBoxSDL -vm" : "VBoxHeadless -s", kVBoxVmName);
}

std::string VBoxPowerOffCommand() {
    return Line("VBoxManage controlvm %s poweroff", kVBoxVmName);
}

const std::vector<std::string>& VBoxFolderFiles() {
    static const std::vector<std::string> files = {"VBoxManage.exe", "VBoxHeadless.exe", "VBoxSDL.exe",
                                                   "VBoxSVC.exe",    "VBoxC.dll",        "VBoxTAP.inf"};
    return files;
}

std::string VBoxLineInFolder(const std::string& folder, const std::string& line) {
    std::string result;
    size_t start = 0;
    while (start < line.size()) {
        size_t end = line.find(' ', start);
        if (end == std::string::npos) end = line.size();
        std::string word = line.substr(start, end - start);
        // The first word when it is one of VirtualBox's programs, and the
        // component as regsvr32's argument.
        // The program with its extension: the command interpreter, which
        // the captured listing goes through, would search for others.
        bool program = start == 0 && word.compare(0, 4, "VBox") == 0;
        if (program && word.find('.') == std::string::npos) word += ".exe";
        bool own = program || word == "VBoxC.dll";
        result += own ? "\"" + folder + "\\" + word + "\"" : word;
        if (end < line.size()) result += ' ';
        start = end + 1;
    }
    return result;
}

}  // namespace holv
