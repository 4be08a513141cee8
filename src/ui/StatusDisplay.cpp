#include "ui/StatusDisplay.h"

#include <winsock2.h>

#include "backends/ApplianceGui.h"
#include "backends/Cvmx.h"
#include "base/Text.h"
#include "base/Unique.h"
#include "ui/Commands.h"
#include "ui/Resources.h"
#include "ui/StatusText.h"
#include "ui/SystemTray.h"
#include "ui/WindowMessages.h"

namespace holv {
namespace {

constexpr UINT kStoppedIcon = 158;
constexpr int kIconFirst = 155, kIconLast = 159;

CSystemTray g_tray;
char g_statusText[4096];

// Loaded once at the size the tray wants on this display, and kept.
HICON StateIcon(HINSTANCE instance, int number) {
    static UniqueIcon icons[kIconLast - kIconFirst + 1];
    if (number < kIconFirst || number > kIconLast) number = kStoppedIcon;
    UniqueIcon& icon = icons[number - kIconFirst];
    if (!icon)
        icon.reset(static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(number), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
    return icon.get();
}

StatusSnapshot Snapshot(Cvmx& vm, int state) {
    StatusSnapshot s;
    s.state = state;
    s.productName = vm.GetProductName();
    s.hostName = vm.GetHostName();
    s.firmware = vm.GetFirmware();
    s.serialNo = vm.GetSerialNo();
    s.ipText = vm.GetIpText();
    s.trellisport = vm.GetTrellisportServer();
    s.rkConnection = vm.GetRkConnection();
    s.routes = vm.GetRouteEntries();
    s.failedRoutes = vm.GetFailedRoutes();
    return s;
}

void ApplyMenu(HINSTANCE instance, const MenuState& m, const Cvmx& vm) {
    CSystemTray& tray = g_tray;
    tray.SetMenuItemGrayed(CmdNetConfig, vm.GetKind() == KindVBox || vm.GetConnectionType() == 0);
    tray.SetMenuItemGrayed(CmdStart, !m.startEnabled);
    tray.SetMenuItemGrayed(CmdStop, !m.stopEnabled);
    tray.SetMenuItemGrayed(CmdBrowse, !m.browseEnabled);
    tray.SetIcon(StateIcon(instance, m.icon));
    tray.SetDefaultMenuItem(static_cast<UINT>(m.defaultCommand), false);
}

}  // namespace

CSystemTray& Tray() {
    return g_tray;
}

void RefreshStatus(ProgramState& p, int refresh, int converse) {
    if (!p.backend) return;
    Cvmx& vm = *p.backend;
    int state = vm.Poll(refresh, converse);
    StatusSnapshot s = Snapshot(vm, state);
    g_tray.SetTooltipText(BuildTooltipText(s).c_str());
    MenuState m = MenuStateFor(s);
    if (state == StateRunning && p.statusPushPending()) PushStatus(p, p.statusPushPort());
    ApplyMenu(p.instance, m, vm);
    if (state == StateRunning && p.browsePending()) {
        p.browsePending() = false;
        OpenApplianceGui(vm);
    }
    SetTimerPeriod(p.mainWindow, p.sessionTimer, m.sessionPeriodMs);
}

const char* BuildStatusText(ProgramState& p) {
    if (!p.backend) {
        g_statusText[0] = '\0';
        return g_statusText;
    }
    int state = p.backend->Poll(1, 1);
    CopyText(g_statusText, BuildStatusTextFrom(Snapshot(*p.backend, state), sizeof g_statusText).c_str());
    return g_statusText;
}

void PushStatus(ProgramState& p, int port) {
    if (!p.backend) return;
    std::string ip = p.backend->GetIpText();
    // No real address yet: the push waits for one.
    if (ip.empty() || ip.rfind("0.", 0) == 0 || ip.rfind("169.", 0) == 0) return;
    UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!s) return;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<u_short>(port & 0xFFFF));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s.get(), reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) return;
    // The whole text goes out: a listener must not get a cut status.
    std::string text = BuildStatusText(p);
    send(s.get(), text.data(), static_cast<int>(text.size()), 0);
    p.statusPushPending() = false;
    p.statusPushPort() = 0;
    shutdown(s.get(), SD_SEND);
}

void CreateTrayIcon(const ProgramState& p) {
    g_tray.Create(p.instance, p.mainWindow, WM_TRAY_NOTIFY, "Holvenstead", StateIcon(p.instance, kStoppedIcon),
                  kResMenu);
}

void RecreateTrayIcon(const ProgramState& p) {
    g_tray.Destroy();
    CreateTrayIcon(p);
}

LRESULT HandleTrayNotification(WPARAM wParam, LPARAM lParam) {
    return g_tray.HandleNotification(wParam, lParam);
}

}  // namespace holv
