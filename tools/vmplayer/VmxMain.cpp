// vmware-vmx.exe stand-in: the VM's worker process. It has no window and
// does nothing but live as long as the player that started it; when the
// player is gone (even killed), the VM is off, so it switches the simulated
// appliance off too. Being terminated needs no cleanup: the player notices.
//   vmware-vmx.exe -parent PID [-power "PATH"] ["VMX"]
#include <windows.h>
// after windows.h, which it needs
#include <tlhelp32.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "StandIn.h"
#include "base/Unique.h"

using namespace holv;
using namespace holv::standin;

namespace {

constexpr DWORD kPollMs = 250;

// Blank-separated words, "double quotes" around words with blanks. Paths
// never hold quotes, so no escapes.
std::vector<std::string> Words(const char* text) {
    std::vector<std::string> words;
    const char* p = text;
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (!*p) return words;
        std::string word;
        bool quoted = false;
        for (; *p && (quoted || (*p != ' ' && *p != '\t')); ++p) {
            if (*p == '"')
                quoted = !quoted;
            else
                word += *p;
        }
        words.push_back(word);
    }
}

// Looks pid up in the process list: true if it is there, with its parent's
// id. A list that cannot be had counts as "there": better keep running than
// switch the appliance off wrongly.
bool FindProcess(DWORD pid, DWORD* parent) {
    UniqueFile snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snap) return true;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32First(snap.get(), &entry); ok; ok = Process32Next(snap.get(), &entry)) {
        if (entry.th32ProcessID == pid) {
            if (parent) *parent = entry.th32ParentProcessID;
            return true;
        }
    }
    return false;
}

// Waits on the parent's handle; if it cannot be opened (rights, or it ended
// already), watches the process list instead.
void WaitForParent(DWORD parent) {
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, parent));
    if (process) {
        WaitForSingleObject(process.get(), INFINITE);
        return;
    }
    Trace("vmx cannot open parent error=%lu: polling", GetLastError());
    while (FindProcess(parent, nullptr)) Sleep(kPollMs);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::vector<std::string> words = Words(GetCommandLineA());
    DWORD parent = 0;
    std::string powerPath;
    for (size_t i = 1; i < words.size(); ++i) {
        if (words[i] == "-parent" && i + 1 < words.size())
            parent = std::strtoul(words[++i].c_str(), nullptr, 10);
        else if (words[i] == "-power" && i + 1 < words.size())
            powerPath = words[++i];
    }
    if (parent == 0) FindProcess(GetCurrentProcessId(), &parent);
    Trace("vmx start pid=%lu parent=%lu", GetCurrentProcessId(), parent);
    if (parent != 0) WaitForParent(parent);
    if (PowerOff(powerPath, parent)) Trace("vmx power off");
    Trace("vmx exit");
    return 0;
}
