#include "e2e/E2eHarness.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "UiAuto.h"

namespace holv::e2e {

namespace {

constexpr DWORD kPollMs = 50;
// A killed program (or one that has just ended) may hold its folder a moment
// longer; the scratch folder is removed with a few retries.
constexpr int kRemoveTries = 40;
constexpr DWORD kRemoveRetryMs = 100;

std::string Parent(const std::string& path) {
    size_t cut = path.find_last_of('\\');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

bool MakeDirs(const std::string& path) {
    if (path.empty() || DirectoryExists(path)) return true;
    // "C:" or "\\server" roots are never created.
    if (path.size() <= 2 || path.back() == ':') return false;
    if (!MakeDirs(Parent(path))) return false;
    return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool RemoveTreeOnce(const std::string& path) {
    WIN32_FIND_DATAA fd;
    UniqueFile find(FindFirstFileA((path + "\\*").c_str(), &fd));
    if (find) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..") continue;
            std::string full = path + "\\" + name;
            SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTreeOnce(full);
            else
                DeleteFileA(full.c_str());
        } while (FindNextFileA(find.get(), &fd));
    }
    find.reset();
    RemoveDirectoryA(path.c_str());
    return !DirectoryExists(path);
}

// Which button a user presses to get rid of a box.
int DismissButton(HWND box) {
    std::vector<uiauto::Button> buttons = uiauto::ListButtons(box);
    for (int want : {IDOK, IDCANCEL, IDABORT})
        for (const auto& b : buttons)
            if (b.id == want) return want;
    for (const auto& b : buttons)
        if (b.isDefault) return b.id;
    return buttons.empty() ? 0 : buttons.front().id;
}

}  // namespace

// ---- where the programs are ---------------------------------------------

std::string ToWindowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    // Wine maps the host's root to drive Z:.
    std::string out = "Z:" + path;
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

std::string BinDir() {
    const char* bin = std::getenv("HOLV_BIN");
    if (!bin || !*bin) return {};
    std::string dir = ToWindowsPath(bin);
    while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
    return dir;
}

std::string ProgramPath(const char* name) {
    std::string dir = BinDir();
    return dir.empty() ? std::string(name) : dir + "\\" + name;
}

bool FileExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool InThrowawayPrefix() {
    const char* v = std::getenv("HOLV_FRESH_PREFIX");
    return v && std::string(v) == "1";
}

// ---- processes -------------------------------------------------------------

ChildProcess::~ChildProcess() { Kill(); }

DWORD ChildProcess::Start(const std::string& exe, const std::string& args, bool captureOutput) {
    Kill();
    output_.clear();
    std::string cmd = "\"" + exe + "\"";
    if (!args.empty()) cmd += " " + args;

    STARTUPINFOA si{};
    si.cb = sizeof si;
    UniqueHandle outWrite;
    if (captureOutput) {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        HANDLE r = nullptr, w = nullptr;
        if (!CreatePipe(&r, &w, &sa, 0)) return GetLastError();
        outRead_.reset(r);
        outWrite.reset(w);
        // Only the write end goes to the child; our read end must not, or the
        // pipe never reports the end.
        SetHandleInformation(r, HANDLE_FLAG_INHERIT, 0);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = w;
        si.hStdError = w;
    }
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, captureOutput, 0, nullptr, nullptr, &si, &pi)) {
        DWORD err = GetLastError();
        outRead_.reset();
        return err ? err : ERROR_GEN_FAILURE;
    }
    CloseHandle(pi.hThread);
    process_.reset(pi.hProcess);
    pid_ = pi.dwProcessId;
    return 0;
}

void ChildProcess::Drain() {
    if (!outRead_) return;
    for (;;) {
        DWORD avail = 0;
        if (!PeekNamedPipe(outRead_.get(), nullptr, 0, nullptr, &avail, nullptr) || avail == 0) return;
        char buf[4096];
        DWORD got = 0;
        if (!ReadFile(outRead_.get(), buf, avail < sizeof buf ? avail : sizeof buf, &got, nullptr) || got == 0) return;
        output_.append(buf, got);
    }
}

bool ChildProcess::Wait(DWORD timeoutMs, DWORD* exitCode) {
    if (!process_) return false;
    DWORD start = GetTickCount();
    for (;;) {
        Drain();
        if (WaitForSingleObject(process_.get(), kPollMs) == WAIT_OBJECT_0) break;
        if (GetTickCount() - start >= timeoutMs) return false;
    }
    Drain();
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    if (exitCode) *exitCode = code;
    return true;
}

bool ChildProcess::Running() const {
    return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

void ChildProcess::Kill() {
    if (Running()) {
        TerminateProcess(process_.get(), 0xDEAD);
        WaitForSingleObject(process_.get(), 5000);
    }
}

RunResult RunProgram(const std::string& exe, const std::string& args, DWORD timeoutMs) {
    RunResult r;
    ChildProcess p;
    r.startError = p.Start(exe, args, true);
    if (r.startError) return r;
    r.ended = p.Wait(timeoutMs, &r.exitCode);
    r.output = p.output();
    return r;
}

EndResult WaitAnsweringBoxes(ChildProcess& process, DWORD timeoutMs) {
    EndResult r;
    DWORD start = GetTickCount();
    for (;;) {
        if (process.Wait(0, &r.exitCode)) {
            r.ended = true;
            return r;
        }
        if (HWND box = uiauto::FindAnyMessageBox(process.pid()); box && r.boxes.size() < 20) {
            BoxSeen seen{uiauto::WindowTitle(box), uiauto::MessageBoxText(box), DismissButton(box)};
            r.boxes.push_back(seen);
            if (seen.pressed) uiauto::PressButton(box, seen.pressed);
            uiauto::WaitWindowGone(box, 5000);
        }
        if (GetTickCount() - start >= timeoutMs) return r;
        Sleep(kPollMs);
    }
}

bool IsCrashCode(DWORD code) {
    // Severity bits 10 (warning) and 11 (error) of an NT status: the codes of
    // unhandled exceptions.
    return code >= 0x80000000UL || code == 0x40000015UL;
}

std::string DescribeExit(DWORD code) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "exit code %lu (0x%08lX)%s", code, code,
                  IsCrashCode(code) ? ", a crash" : "");
    return buf;
}

LONG DisableCrashDialog() {
    UniqueKey key;
    LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\WineDbg", 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, key.put(), nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    DWORD off = 0;
    return RegSetValueExA(key.get(), "ShowCrashDialog", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off),
                          sizeof off);
}

// ---- files -----------------------------------------------------------------

ScratchDir::ScratchDir() {
    char temp[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof temp, temp);
    if (n == 0 || n >= sizeof temp) return;
    std::string base(temp, n);
    if (base.back() != '\\') base += '\\';
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[96];
        std::snprintf(name, sizeof name, "holv-e2e-%lu-%u-%lu", GetCurrentProcessId(), ++counter, GetTickCount());
        std::string candidate = base + name;
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
    }
}

ScratchDir::~ScratchDir() {
    if (!path_.empty()) RemoveTree(path_);
}

std::string ScratchDir::Join(const std::string& relative) const { return path_ + "\\" + relative; }

std::string ScratchDir::Write(const std::string& relative, const std::string& content) const {
    std::string full = Join(relative);
    if (!MakeDirs(Parent(full))) return {};
    UniqueFile file(CreateFileA(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {};
    size_t done = 0;
    while (done < content.size()) {
        DWORD wrote = 0;
        DWORD chunk = static_cast<DWORD>(content.size() - done > 65536 ? 65536 : content.size() - done);
        if (!WriteFile(file.get(), content.data() + done, chunk, &wrote, nullptr) || wrote == 0) return {};
        done += wrote;
    }
    return full;
}

std::string ScratchDir::MakeDir(const std::string& relative) const {
    std::string full = Join(relative);
    return MakeDirs(full) ? full : std::string();
}

bool RemoveTree(const std::string& path) {
    for (int i = 0; i < kRemoveTries; ++i) {
        if (RemoveTreeOnce(path)) return true;
        Sleep(kRemoveRetryMs);
    }
    std::fprintf(stderr, "e2e: could not remove %s\n", path.c_str());
    return false;
}

std::string ReadFileText(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string text;
    if (!file) return text;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), buf, sizeof buf, &got, nullptr) && got > 0) text.append(buf, got);
    return text;
}

std::string ValidVmx() {
    return "config.version = \"8\"\n"
           "virtualHW.version = \"7\"\n"
           "displayName = \"Holvenstead\"\n";
}

// ---- path forms --------------------------------------------------------------

std::string ShortPathOf(const std::string& path) {
    char buf[MAX_PATH * 4];
    DWORD n = GetShortPathNameA(path.c_str(), buf, sizeof buf);
    return (n == 0 || n >= sizeof buf) ? std::string() : std::string(buf, n);
}

std::string CanonicalPathOf(const std::string& path) {
    char full[MAX_PATH * 4];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full) return path;
    char longer[MAX_PATH * 4];
    DWORD m = GetLongPathNameA(full, longer, sizeof longer);
    std::string p = (m > 0 && m < sizeof longer) ? std::string(longer, m) : std::string(full, n);

    // Each component as the file system spells it.
    std::string out;
    size_t pos = 0;
    if (p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':') {
        out = std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(p[0])))) + ":";
        pos = 2;
    }
    while (pos < p.size()) {
        if (p[pos] == '\\') {
            out += '\\';
            ++pos;
            continue;
        }
        size_t end = p.find('\\', pos);
        if (end == std::string::npos) end = p.size();
        std::string comp = p.substr(pos, end - pos);
        WIN32_FIND_DATAA fd;
        UniqueFile find(FindFirstFileA((out + comp).c_str(), &fd));
        if (find && std::string(fd.cFileName).size() == comp.size()) comp = fd.cFileName;
        out += comp;
        pos = end;
    }
    return out;
}

std::string SwapCase(const std::string& path) {
    std::string out = path;
    for (char& c : out) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x80 && std::islower(u)) c = static_cast<char>(std::toupper(u));
        else if (u < 0x80 && std::isupper(u)) c = static_cast<char>(std::tolower(u));
    }
    return out;
}

// ---- registry ----------------------------------------------------------------

LONG DeleteKeyTree(HKEY root, const char* subKey) {
    LONG rc = RegDeleteTreeA(root, subKey);
    return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

ScopedPlayerAssociation::ScopedPlayerAssociation(const std::string& command) {
    error_ = DeleteKeyTree(HKEY_CLASSES_ROOT, kRoot);
    if (error_ != ERROR_SUCCESS) return;
    UniqueKey key;
    error_ = RegCreateKeyExA(HKEY_CLASSES_ROOT, kCommandKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                             nullptr);
    if (error_ != ERROR_SUCCESS) return;
    error_ = RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                            static_cast<DWORD>(command.size() + 1));
}

ScopedPlayerAssociation::~ScopedPlayerAssociation() { DeleteKeyTree(HKEY_CLASSES_ROOT, kRoot); }

// ---- the program's own windows -------------------------------------------------

namespace {
BOOL CALLBACK DescribeProc(HWND w, LPARAM lp) {
    if (uiauto::WindowClass(w) != kMainWindowClass) return TRUE;
    auto* out = reinterpret_cast<std::string*>(lp);
    char line[64];
    std::snprintf(line, sizeof line, "  process %lu: \"", uiauto::WindowProcessId(w));
    *out += line + uiauto::WindowTitle(w) + "\"\n";
    return TRUE;
}
}  // namespace

std::string DescribeMainWindows() {
    std::string out;
    EnumWindows(DescribeProc, reinterpret_cast<LPARAM>(&out));
    return out.empty() ? std::string("  (no window of class RKHVTRAYICON)\n") : out;
}

}  // namespace holv::e2e
