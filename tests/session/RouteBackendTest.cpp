// The backend removes what its route set installed exactly when the appliance
// goes away. The Player backend runs with a route table the test controls; it
// has no VM file and no appliance conversation, so nothing leaves the process.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "backends/CvmxPlayer.h"
#include "session/FakeRouteSystem.h"

using namespace holv;
using namespace holv::test;

namespace {

constexpr uint8_t kMac[6] = {0x00, 0x50, 0x56, 0x12, 0x34, 0x56};

// The Player backend with its state and session in the test's reach.
class RoutedPlayer : public CvmxPlayer {
public:
    RoutedPlayer() : Cvmx(KindPlayer) {}
    using Cvmx::session;
    using Cvmx::state;
};

// Each way the appliance goes away removes exactly the owned routes, once.
// Lost contact: no conversation, so the status query fails as an unanswered
// one does.
TEST(RouteBackend, EveryWayTheApplianceGoesRemovesThemOnce) {
    const std::pair<const char*, std::function<void(RoutedPlayer&)>> ways[] = {
        {"lost contact",
         [](RoutedPlayer& vm) {
             vm.state = StateRunning;
             vm.Poll(0, 0);
             vm.SessionStep();
             EXPECT_EQ(vm.state, StateStarting);
         }},
        {"stop", [](RoutedPlayer& vm) { EXPECT_EQ(vm.Stop(), 0); }},
        {"a refresh that finds no VM",
         [](RoutedPlayer& vm) {
             vm.state = StateStopped;
             EXPECT_EQ(vm.Poll(1, 0), StateStopped);
         }},
        {"destruction", nullptr},
    };
    for (const auto& [what, way] : ways) {
        SCOPED_TRACE(what);
        FakeRouteSystem system;
        system.table.push_back(FakeRouteSystem::SystemRoute("192.168.1.0", "255.255.255.0", "192.168.1.20", 3));
        RouteSystem* previous = ReplaceRouteSystem(&system);
        auto vm = std::make_unique<RoutedPlayer>();
        FakeRouteLists lists;
        lists.lists[0] = "00000a000001";
        lists.lists[1] = "0100c0a80100ffffff000a010000ffff0000";  // the LAN (the system's) and a network
        vm->session.routes.InstallRoutes(Ip("192.168.56.101"), kMac, true, lists);
        EXPECT_EQ(system.Count(FakeRouteSystem::Create), 2);
        system.ForgetCalls();
        way ? way(*vm) : vm.reset();
        EXPECT_EQ(system.PairsOf(FakeRouteSystem::Delete),
                  (std::vector<RoutePair>{Pair("10.0.0.1"), Pair("10.1.0.0", "255.255.0.0")}));
        EXPECT_EQ(system.foreignDeletes + system.Count(FakeRouteSystem::Create), 0);
        EXPECT_EQ(system.flushes, 1);
        EXPECT_TRUE(!vm || vm->GetRouteEntries().empty());
        vm.reset();  // and not again
        EXPECT_EQ(system.Count(FakeRouteSystem::Delete), 2);
        ReplaceRouteSystem(previous);
    }
}

}  // namespace
