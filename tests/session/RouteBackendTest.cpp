// The backend removes what its route set installed exactly when the appliance
// goes away: lost contact in a session step, every Stop, a refresh that finds
// the VM not running, and the backend's destruction. The Player backend runs
// here with a route table the test controls, put in before the backend is
// made; it has no VM file and no appliance conversation, so nothing leaves
// the process.
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

class RouteBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        system = FakeRouteSystem();
        system.table.push_back(FakeRouteSystem::SystemRoute("192.168.1.0", "255.255.255.0", "192.168.1.20", 3));
        previous = ReplaceRouteSystem(&system);
        vm = std::make_unique<RoutedPlayer>();
        lists.lists[0] = "00000a000001";
        lists.lists[1] = "0100c0a80100ffffff000a010000ffff0000";  // the LAN (the system's) and a network
        vm->session.routes.InstallRoutes(Ip("192.168.56.101"), kMac, true, lists);
        ASSERT_EQ(system.Count(FakeRouteSystem::Create), 2);
        system.ForgetCalls();
    }
    void TearDown() override {
        vm.reset();
        ReplaceRouteSystem(previous);
    }

    // Exactly the two owned routes were deleted, and only now.
    void ExpectOwnedRoutesDeleted() {
        EXPECT_EQ(system.PairsOf(FakeRouteSystem::Delete),
                  (std::vector<RoutePair>{Pair("10.0.0.1"), Pair("10.1.0.0", "255.255.0.0")}));
        EXPECT_EQ(system.Count(FakeRouteSystem::Create), 0);
        EXPECT_TRUE(system.RoutesThrough(Ip("192.168.56.101")).empty());
        EXPECT_EQ(system.RoutesThrough(Ip("192.168.1.20")),
                  (std::vector<RoutePair>{Pair("192.168.1.0", "255.255.255.0")}));
        EXPECT_TRUE(vm->GetRouteEntries().empty());
        EXPECT_EQ(system.flushes, 1);
    }

    FakeRouteSystem system;
    FakeRouteLists lists;
    RouteSystem* previous = nullptr;
    std::unique_ptr<RoutedPlayer> vm;
};

// Each way the appliance goes away removes exactly the owned routes (a
// refresh that only reads the state does not). Lost contact: no
// conversation, so the status query fails as an unanswered one does.
TEST_F(RouteBackendTest, EveryWayTheApplianceGoesRemovesThem) {
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
    };
    for (const auto& [what, way] : ways) {
        SCOPED_TRACE(what);
        TearDown();
        SetUp();
        way(*vm);
        ExpectOwnedRoutesDeleted();
    }
}

TEST_F(RouteBackendTest, DestructionRemovesThem) {
    vm.reset();
    EXPECT_EQ(system.PairsOf(FakeRouteSystem::Delete),
              (std::vector<RoutePair>{Pair("10.0.0.1"), Pair("10.1.0.0", "255.255.0.0")}));
    EXPECT_TRUE(system.RoutesThrough(Ip("192.168.56.101")).empty());
    EXPECT_EQ(system.flushes, 1);
}

TEST_F(RouteBackendTest, RemovedOnceWhateverCallsFollow) {
    vm->Stop();
    vm->state = StateRunning;
    vm->SessionStep();
    vm->state = StateStopped;
    vm->Poll(1, 0);
    vm.reset();
    EXPECT_EQ(system.Count(FakeRouteSystem::Delete), 2);
    EXPECT_EQ(system.flushes, 1);
}

}  // namespace
