#include "MachineFile.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "SmallFile.h"
#include "VBoxStandIn.h"

namespace holv::vbox {
namespace {

using standin::ReadSmallFile;
using standin::WriteSmallFile;

constexpr int kAdapterCount = 4;
constexpr size_t kMacDigits = 12;

struct Adapter {
    std::string attachment = "none";
    std::string mac;
    std::string hostInterface;
    std::string natNetwork;
};

struct Machine {
    std::string uuid;
    std::string name;
    Adapter adapters[kAdapterCount];
};

// VirtualBox's error text goes to *error; the exit code is 1.
int Refuse(std::string* error, const std::string& text) {
    *error = text;
    return 1;
}

std::string RandomHex(size_t digits) {
    std::random_device random;
    std::string hex;
    while (hex.size() < digits) hex += "0123456789ABCDEF"[random() & 0xF];
    return hex;
}

// VirtualBox's own prefix for the addresses it makes up.
std::string NewMac() {
    return "080027" + RandomHex(kMacDigits - 6);
}

std::string NewUuid() {
    const std::string h = RandomHex(32);
    return h.substr(0, 8) + "-" + h.substr(8, 4) + "-4" + h.substr(13, 3) + "-8" + h.substr(17, 3) + "-" + h.substr(20);
}

bool IsUuid(const std::string& text) {
    size_t digits = 0;
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            ++digits;
        else if (c != '-')
            return false;
    }
    return digits == 32;
}

bool IsMac(const std::string& text) {
    if (text.size() != kMacDigits) return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// Names become folder and file names: nothing that leaves the folder.
bool IsSafeName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("\\/:*?\"<>|") == std::string::npos;
}

std::string Attribute(const std::string& line, const std::string& name) {
    const std::string key = " " + name + "=\"";
    const size_t start = line.find(key);
    if (start == std::string::npos) return {};
    const size_t end = line.find('"', start + key.size());
    return end == std::string::npos ? std::string() : line.substr(start + key.size(), end - start - key.size());
}

std::string Format(const Machine& m) {
    std::string text = "<?xml version=\"1.0\"?>\n<VirtualBox version=\"1.3-windows\">\n";
    text += "  <Machine uuid=\"{" + m.uuid + "}\" name=\"" + m.name + "\" OSType=\"Other\">\n";
    text += "    <Hardware>\n      <Network>\n";
    for (int slot = 0; slot < kAdapterCount; ++slot) {
        const Adapter& a = m.adapters[slot];
        text += "        <Adapter slot=\"" + std::to_string(slot) + "\" enabled=\"" +
                (a.attachment == "none" ? "false" : "true") + "\" MACAddress=\"" + a.mac +
                "\" cable=\"true\" type=\"Am79C973\" attachment=\"" + a.attachment + "\" hostInterface=\"" +
                a.hostInterface + "\" natNetwork=\"" + a.natNetwork + "\"/>\n";
    }
    text += "      </Network>\n    </Hardware>\n  </Machine>\n</VirtualBox>\n";
    return text;
}

// Reads back what Format wrote; anything else in the file is not ours.
bool Parse(const std::string& text, Machine* m) {
    size_t start = 0;
    bool found = false;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.find("<Machine ") != std::string::npos) {
            std::string uuid = Attribute(line, "uuid");
            m->uuid = uuid.size() > 2 ? uuid.substr(1, uuid.size() - 2) : "";
            m->name = Attribute(line, "name");
            found = true;
        } else if (line.find("<Adapter ") != std::string::npos) {
            const int slot = std::atoi(Attribute(line, "slot").c_str());
            if (slot < 0 || slot >= kAdapterCount) continue;
            m->adapters[slot] = {Attribute(line, "attachment"), Attribute(line, "MACAddress"),
                                 Attribute(line, "hostInterface"), Attribute(line, "natNetwork")};
        }
    }
    return found;
}

// One "-optionN value" pair: 0, or 1 with a message when it is not acceptable.
int ApplyAdapterOption(Machine* m, const std::string& option, const std::string& value, std::string* error) {
    static const char* const kOptions[] = {"-nic", "-hostifdev", "-macaddress", "-natnet"};
    for (const char* prefix : kOptions) {
        const std::string p = prefix;
        if (option.size() != p.size() + 1 || option.compare(0, p.size(), p) != 0) continue;
        const int slot = option.back() - '1';
        if (slot < 0 || slot >= kAdapterCount) break;
        Adapter& a = m->adapters[slot];
        if (p == "-nic") {
            if (value != "none" && value != "null" && value != "nat" && value != "hostif" && value != "intnet")
                return Refuse(error, "Invalid " + option + " argument '" + value + "'");
            a.attachment = value;
        } else if (p == "-hostifdev") {
            a.hostInterface = value;
        } else if (p == "-macaddress") {
            if (value != "auto" && !IsMac(value)) return Refuse(error, "Invalid MAC address format '" + value + "'");
            a.mac = value == "auto" ? NewMac() : value;
        } else {
            a.natNetwork = value;
        }
        return 0;
    }
    return 0;  // memory, disks, boot order, ...: only traced
}

}  // namespace

std::string MachineFilePath(const std::string& vmName) {
    return VBoxHome() + "Machines\\" + vmName + "\\" + vmName + ".xml";
}

bool MachineExists(const std::string& vmName) {
    return IsSafeName(vmName) && standin::PathExists(MachineFilePath(vmName));
}

int CreateMachine(const std::string& vmName, const std::string& uuid, std::string* error) {
    if (!IsSafeName(vmName)) return Refuse(error, "Invalid machine name '" + vmName + "'");
    if (!uuid.empty() && !IsUuid(uuid)) return Refuse(error, "Invalid UUID '" + uuid + "'");
    const std::string path = MachineFilePath(vmName);
    if (standin::PathExists(path)) return Refuse(error, "Machine settings file '" + path + "' already exists");
    Machine m;
    m.uuid = uuid.empty() ? NewUuid() : uuid;
    m.name = vmName;
    for (Adapter& a : m.adapters) a.mac = NewMac();
    CreateDirectoryA((VBoxHome() + "Machines").c_str(), nullptr);
    CreateDirectoryA(standin::FolderOf(path).c_str(), nullptr);
    if (!WriteSmallFile(path, Format(m))) return Refuse(error, "Cannot write '" + path + "'");
    return 0;
}

int ModifyMachine(const std::string& vmName, const std::vector<std::string>& options, std::string* error) {
    Machine m;
    if (!MachineExists(vmName) || !Parse(ReadSmallFile(MachineFilePath(vmName)), &m))
        return Refuse(error, "Could not find a registered machine named '" + vmName + "'");
    for (size_t i = 0; i < options.size(); i += 2) {
        if (i + 1 >= options.size()) return Refuse(error, "Missing argument to '" + options[i] + "'");
        if (ApplyAdapterOption(&m, options[i], options[i + 1], error) != 0) return 1;
    }
    if (!WriteSmallFile(MachineFilePath(vmName), Format(m))) return Refuse(error, "Cannot write the settings");
    return 0;
}

}  // namespace holv::vbox
