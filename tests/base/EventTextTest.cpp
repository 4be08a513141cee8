#include <gtest/gtest.h>

#include "base/EventText.h"

using namespace holv;

// Text from the appliance must not forge lines or insert parameter texts,
// and a long one is cut, never refused.
TEST(EventText, DetailIsTamedAndCut) {
    EventEntry e = MakeEventEntry(HolvEvent::ActionRefused, "a\r\nFake entry %%1 %2\x7f");
    EXPECT_EQ(e.text.find_first_of("\r\n%\x7f"), std::string::npos) << e.text;
    EXPECT_EQ(MakeEventEntry(HolvEvent::ActionRefused, std::string(5000, 'x')).text.size(), kEventTextMax);
    EXPECT_EQ(MakeEventEntry(static_cast<HolvEvent>(999), "x").id, 0u);
}

// Found and lost on the changes only: a steady or a silent appliance says
// nothing more.
TEST(EventText, ContactIsToldOnChangesOnly) {
    bool inContact = false;
    const struct {
        bool reachable;
        uint16_t event;
    } steps[] = {
        {false, 0}, {true, static_cast<uint16_t>(HolvEvent::ApplianceFound)},
        {true, 0},  {false, static_cast<uint16_t>(HolvEvent::ApplianceLost)},
        {false, 0},
    };
    for (const auto& s : steps) EXPECT_EQ(ContactEvent(inContact, s.reachable), s.event) << s.reachable;
}

TEST(EventText, OnceARunAndBounded) {
    EventOnce once;
    EXPECT_TRUE(once.First("route 10.1.0.0"));
    EXPECT_FALSE(once.First("route 10.1.0.0"));
    for (int i = 0; i < 200; ++i) once.First("flood " + std::to_string(i));
    EXPECT_FALSE(once.First("one more"));
}
