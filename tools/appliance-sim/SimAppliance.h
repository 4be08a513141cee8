// What the simulated appliance does with one datagram: decode it, decide the
// answer as the appliance would, and describe the event for the record file.
// No sockets here, so the behaviour can be tested without a network.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "SimConfig.h"

namespace holv {

// Flag bits a reply must echo for the host to take it as the answer: the
// host compares its request's and the reply's flag words under this mask.
constexpr uint32_t SimReplyMatchMask = 0x800D07FE;

// State that lives across requests and configuration reloads.
struct SimState {
    bool actionServed = false;  // the queued action went out; empty until the next load
    int dropRemaining = 0;      // requests still to be left unanswered
};

struct SimOutcome {
    std::vector<std::string> records;  // lines for the record file, without newline
    std::vector<std::string> log;      // what happened, for -v
    std::vector<uint8_t> reply;        // the answer frame; empty = no answer
    bool powerOff = false;             // shutdown request: power off after answering
};

// A (re)loaded configuration queues its action and its drop count again.
void SimConfigLoaded(const SimConfig& config, SimState& state);

// Handles one received datagram.
void SimHandleDatagram(const SimConfig& config, SimState& state, const uint8_t* data, int size, SimOutcome& out);

// An "IMCN" frame with the configured flag word; false if it cannot be built.
bool SimBuildNotification(const SimConfig& config, std::vector<uint8_t>& frame, std::string& problem);

}  // namespace holv
