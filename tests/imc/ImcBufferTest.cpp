// The frame buffer: forward reads, back-to-front writes, and the sticky
// failure that keeps a parser from acting on bytes past a bounds violation.
#include <gtest/gtest.h>

#include <cstring>

#include "imc/ImcBuffer.h"
#include "imc/ImcCodes.h"
#include "imc/ImcTestBytes.h"

namespace holv {
namespace {

using test::Bytes;
using test::operator+;
using test::Hex;

TEST(ImcBuffer, WritesBackToFrontAndStopsAtTheStart) {
    ImcBuffer b;
    ASSERT_EQ(ImcBufferAllocate(b, 8), ImcErrNone);
    std::memset(b.bytes.get(), 0xAA, 8);
    b.position = 8;
    EXPECT_EQ(ImcBufferWriteByte(b, 0x01), 0);
    EXPECT_EQ(ImcBufferWrite(b, "\x02\x03", 2), 0);
    EXPECT_EQ(ImcBufferWriteU32(b, 0x04050607), 0);
    EXPECT_EQ(b.position, 1);
    EXPECT_EQ(test::Unread(b), Hex("04 05 06 07 02 03 01"));
    // Two bytes do not fit in front of position 1: nothing is written.
    EXPECT_EQ(ImcBufferWrite(b, "\x08\x09", 2), -1);
    EXPECT_EQ(b.position, 1);
    EXPECT_EQ(b.bytes[0], 0xAA);  // guard byte untouched
    // The failure sticks: even a byte that would fit is refused.
    EXPECT_EQ(ImcBufferWriteByte(b, 0x0A), -1);
    EXPECT_EQ(b.bytes[0], 0xAA);
}

TEST(ImcBuffer, WriteRefusesNegativeCountsAndFullBuffers) {
    ImcBuffer b;
    ASSERT_EQ(ImcBufferAllocate(b, 2), ImcErrNone);
    b.position = 2;
    EXPECT_EQ(ImcBufferWrite(b, "x", -1), -1);
    EXPECT_EQ(b.position, 2);

    ImcBuffer c;
    ASSERT_EQ(ImcBufferAllocate(c, 1), ImcErrNone);
    c.position = 1;
    EXPECT_EQ(ImcBufferWriteByte(c, 1), 0);
    EXPECT_EQ(ImcBufferWriteByte(c, 2), -1);  // at 0
    EXPECT_EQ(c.position, 0);
}

TEST(ImcBuffer, ReadsForwardsWithinTheLimit) {
    ImcBuffer b = test::ReadBuffer(Hex("01 02 03 04 05 06"));
    uint8_t two[2];
    uint32_t word;
    ASSERT_EQ(ImcBufferRead(b, two, 2), 0);
    EXPECT_EQ(two[0], 1);
    EXPECT_EQ(two[1], 2);
    ASSERT_EQ(ImcBufferReadU32(b, word), 0);
    EXPECT_EQ(word, 0x03040506u);
    EXPECT_EQ(ImcBufferRemaining(b), 0);
    uint8_t one;
    EXPECT_EQ(ImcBufferReadByte(b, one), -1);
}

TEST(ImcBuffer, FailedReadLeavesTheCursorAndSticks) {
    ImcBuffer b = test::ReadBuffer(Hex("01 02 03"));
    uint8_t four[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(ImcBufferRead(b, four, 4), -1);
    EXPECT_EQ(b.position, 0);
    EXPECT_EQ(four[0], 0xEE);  // nothing copied
    EXPECT_TRUE(b.failed);
    uint8_t one;
    EXPECT_EQ(ImcBufferReadByte(b, one), -1);  // would fit, but the buffer failed
    EXPECT_EQ(ImcBufferRead(b, four, -1), -1);
    ImcBufferReset(b);
    EXPECT_EQ(ImcBufferReadByte(b, one), 0);
    EXPECT_EQ(one, 1);
}

TEST(ImcBuffer, NegativeReadFails) {
    ImcBuffer b = test::ReadBuffer(Hex("01"));
    uint8_t x;
    EXPECT_EQ(ImcBufferRead(b, &x, -1), -1);
    EXPECT_EQ(b.position, 0);
}

TEST(ImcBuffer, SkipStaysWithinZeroAndLimit) {
    ImcBuffer b = test::ReadBuffer(Hex("01 02 03 04"));
    EXPECT_EQ(ImcBufferSkip(b, 4), 0);
    EXPECT_EQ(ImcBufferSkip(b, -4), 0);
    EXPECT_EQ(b.position, 0);
    EXPECT_EQ(ImcBufferSkip(b, -1), -1);
    EXPECT_EQ(b.position, 0);
    ImcBufferReset(b);
    EXPECT_EQ(ImcBufferSkip(b, 5), -1);
    ImcBufferReset(b);
    EXPECT_EQ(ImcBufferSkip(b, 0x7FFFFFFF), -1);  // no overflow of the cursor
    EXPECT_EQ(b.position, 0);
}

TEST(ImcBuffer, StringReadNeedsATerminatorWithinTheLimit) {
    ImcBuffer b = test::ReadBuffer(Hex("41 42 00 43 00 44"));
    std::string text;
    ASSERT_EQ(ImcBufferReadString(b, text), 0);
    EXPECT_EQ(text, "AB");
    ASSERT_EQ(ImcBufferReadString(b, text), 0);
    EXPECT_EQ(text, "C");
    EXPECT_EQ(ImcBufferReadString(b, text), -1);  // "D" has no terminator
    EXPECT_EQ(b.position, 5);
    EXPECT_EQ(text, "C");

    // A terminator past the limit does not count.
    ImcBuffer c = test::ReadBuffer(Hex("41 42 00"));
    ASSERT_EQ(ImcBufferSetLimit(c, 2), 0);
    EXPECT_EQ(ImcBufferReadString(c, text), -1);

    ImcBuffer empty = test::ReadBuffer(Hex("00"));
    ASSERT_EQ(ImcBufferReadString(empty, text), 0);
    EXPECT_EQ(text, "");
}

TEST(ImcBuffer, SetLimitChecksTheCount) {
    ImcBuffer b;
    ASSERT_EQ(ImcBufferAllocate(b, 16), ImcErrNone);
    EXPECT_EQ(ImcBufferSetLimit(b, 16), 0);
    EXPECT_EQ(ImcBufferSetLimit(b, 0), 0);
    EXPECT_EQ(ImcBufferSetLimit(b, -1), -1);
    ImcBufferReset(b);
    EXPECT_EQ(ImcBufferSetLimit(b, 17), -1);
    ImcBufferReset(b);
    b.position = 4;
    EXPECT_EQ(ImcBufferSetLimit(b, 3), -1);
    ImcBufferReset(b);
    b.position = 4;
    EXPECT_EQ(ImcBufferSetLimit(b, 4), 0);
    EXPECT_EQ(ImcBufferRemaining(b), 0);
}

TEST(ImcBuffer, SubSpanLimitsReadsAndMustBeConsumed) {
    ImcBuffer b = test::ReadBuffer(Hex("01 02 03 04"));
    int outer;
    ASSERT_EQ(ImcBufferEnter(b, 2, outer), 0);
    EXPECT_EQ(ImcBufferRemaining(b), 2);
    uint32_t word;
    EXPECT_EQ(ImcBufferReadU32(b, word), -1);  // the span holds only 2 bytes
    EXPECT_EQ(ImcBufferLeave(b, outer), -1);
    EXPECT_EQ(b.limit, 4);

    ImcBuffer c = test::ReadBuffer(Hex("01 02 03 04"));
    ASSERT_EQ(ImcBufferEnter(c, 2, outer), 0);
    uint8_t x;
    ASSERT_EQ(ImcBufferReadByte(c, x), 0);
    EXPECT_EQ(ImcBufferLeave(c, outer), -1);  // one byte of the span unread

    ImcBuffer d = test::ReadBuffer(Hex("01 02 03 04"));
    ASSERT_EQ(ImcBufferEnter(d, 2, outer), 0);
    ASSERT_EQ(ImcBufferSkip(d, 2), 0);
    EXPECT_EQ(ImcBufferLeave(d, outer), 0);
    EXPECT_EQ(ImcBufferRemaining(d), 2);

    ImcBuffer e = test::ReadBuffer(Hex("01 02"));
    EXPECT_EQ(ImcBufferEnter(e, 3, outer), -1);
    ImcBufferReset(e);
    EXPECT_EQ(ImcBufferEnter(e, -1, outer), -1);
}

TEST(ImcBuffer, AssignCopiesAndAllocateRejectsNegativeSizes) {
    const Bytes data = Hex("DE AD");
    ImcBuffer b;
    ASSERT_EQ(ImcBufferAssign(b, data.data(), 2), ImcErrNone);
    EXPECT_EQ(test::Unread(b), data);
    EXPECT_EQ(ImcBufferAllocate(b, -1), ImcErrMalformed);
    EXPECT_EQ(b.bytes, nullptr);
    ASSERT_EQ(ImcBufferAssign(b, nullptr, 0), ImcErrNone);
    EXPECT_EQ(ImcBufferRemaining(b), 0);
}

}  // namespace
}  // namespace holv
