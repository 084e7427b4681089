// SPDX-License-Identifier: GPL-3.0-or-later
#include "converter/CablePacer.h"
#include "converter/ParameterMessage.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>
#include <vector>

namespace {

using Bytes = CablePacer::Bytes;
using std::chrono::microseconds;
using std::chrono::milliseconds;

Bytes NoteRef(int value, int channel = 0) {
    const ParameterMessageBytes message = ParameterMessage(channel, pcNoteRef, value);
    return {message.begin(), message.end()};
}

Bytes ModeFlags(int flags) {
    const ParameterMessageBytes message = ParameterMessage(0, pcModeFlags, flags);
    return {message.begin(), message.end()};
}

const auto kMessageTime = CablePacer::cableTime(7);  // 2.24 ms

// A pacer on a clock of the test's own, recording what reached the port and when.
class Paced : public ::testing::Test {
  protected:
    struct Sent {
        Bytes bytes;
        CablePacer::Clock::duration at;
    };

    CablePacer::Clock::time_point now{std::chrono::hours(1)};
    const CablePacer::Clock::time_point start = now;
    std::vector<Sent> sent;
    int failNext = 0;
    CablePacer pacer{[this](const Bytes& bytes) {
                         if (failNext > 0) {
                             --failNext;
                             throw std::runtime_error("port gone");
                         }
                         sent.push_back({bytes, now - start});
                     },
                     [this] { return now; }};

    // Lets the clock run to `until` after the start, with the timer firing when it is due.
    void runTo(CablePacer::Clock::duration until) {
        while (auto due = pacer.nextDue()) {
            if (*due - start > until)
                break;
            now = std::max(now, *due);
            pacer.sendDue();
        }
        now = start + until;
    }
    std::vector<Bytes> bytes() const {
        std::vector<Bytes> all;
        for (const Sent& message : sent)
            all.push_back(message.bytes);
        return all;
    }
};

TEST_F(Paced, ChangesSlowerThanTheCableLeaveAtOnce) {
    for (int value = 0; value < 5; ++value) {
        now = start + milliseconds(3 * value);
        pacer.send(NoteRef(value));
        ASSERT_EQ(sent.size(), static_cast<std::size_t>(value + 1));
        EXPECT_EQ(sent.back().at, milliseconds(3 * value));
    }
    EXPECT_EQ(pacer.waiting(), 0u);
    EXPECT_FALSE(pacer.nextDue());
}

TEST_F(Paced, AFastDragLeavesAtTheCablesRateAndItsLastValueSoonAfterTheLastStep) {
    // One step a millisecond, 0 to 127, as a fast mouse drags NoteRef.
    for (int value = 0; value <= 127; ++value) {
        runTo(milliseconds(value));
        pacer.send(NoteRef(value));
    }
    runTo(milliseconds(200));
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front().bytes, NoteRef(0));
    EXPECT_EQ(sent.back().bytes, NoteRef(127));
    EXPECT_LE(sent.back().at, milliseconds(127) + kMessageTime);
    // Never more than the cable carries during the drag, and the final value; in rising order.
    EXPECT_EQ(sent.size(), 127 * 1000 / 2240 + 1u + 1u);
    for (std::size_t i = 1; i < sent.size(); ++i) {
        EXPECT_GE(sent[i].at - sent[i - 1].at, kMessageTime - CablePacer::kEarly);
        EXPECT_LT(sent[i - 1].bytes[4] + 16 * sent[i - 1].bytes[5],
                  sent[i].bytes[4] + 16 * sent[i].bytes[5]);
    }
}

TEST_F(Paced, AWaitingValueIsReplacedInPlaceAndOtherParametersKeepTheirOrder) {
    pacer.send(NoteRef(1));  // leaves at once, the cable is busy after it
    pacer.send(NoteRef(2));
    pacer.send(ModeFlags(kModeFlagTable));
    pacer.send(NoteRef(3));
    pacer.send(NoteRef(4, 5));  // another channel: not a replacement
    pacer.send({0xB0, 7, 10});
    pacer.send({0xB0, 8, 10});
    pacer.send({0xB0, 7, 11});
    pacer.send({0xB1, 7, 12});
    EXPECT_EQ(pacer.waiting(), 6u);
    runTo(milliseconds(100));
    EXPECT_EQ(bytes(),
              (std::vector<Bytes>{NoteRef(1), NoteRef(3), ModeFlags(kModeFlagTable), NoteRef(4, 5),
                                  Bytes{0xB0, 7, 11}, Bytes{0xB0, 8, 10}, Bytes{0xB1, 7, 12}}));
    // Each leaves when the cable has carried the one before it, or just before.
    EXPECT_EQ(sent[1].at, kMessageTime - CablePacer::kEarly);
    EXPECT_EQ(sent[5].at - sent[4].at, CablePacer::cableTime(3));
}

TEST_F(Paced, ACableFoundBehindThePacersClockHoldsTheNextMessageBackUntilItIsFree) {
    pacer.send(NoteRef(1));  // at 0, on the pacer's clock until 2.24 ms
    runTo(kMessageTime - CablePacer::kEarly);
    pacer.send(NoteRef(2));  // leaves, on the pacer's clock until 4.48 ms
    pacer.send(NoteRef(3));
    ASSERT_EQ(sent.size(), 2u);
    // The driver took the first late: it finished at 3 ms, with the second still to go.
    pacer.finished(start + milliseconds(3), 1);
    EXPECT_EQ(*pacer.nextDue(), start + milliseconds(3) + kMessageTime - CablePacer::kEarly);
    // Notices that tell nothing new never move the clock back, nor past what was sent.
    pacer.finished(start + milliseconds(1), 1);
    pacer.finished(start + milliseconds(4), 9);
    pacer.finished(start + milliseconds(3), 0);
    EXPECT_EQ(*pacer.nextDue(), start + milliseconds(4) + 2 * kMessageTime - CablePacer::kEarly);
    runTo(milliseconds(100));
    EXPECT_EQ(sent.back().at, milliseconds(4) + 2 * kMessageTime - CablePacer::kEarly);
}

TEST_F(Paced, AFailedSendIsThrownTakesNoCableTimeAndKeepsTheOthersWaiting) {
    failNext = 1;
    EXPECT_THROW(pacer.send(NoteRef(1)), std::runtime_error);
    // The cable is still free: the next leaves at once.
    pacer.send(NoteRef(2));
    EXPECT_EQ(sent.size(), 1u);
    pacer.send(NoteRef(3));
    pacer.send(ModeFlags(0));
    failNext = 1;
    now += kMessageTime;
    EXPECT_THROW(pacer.sendDue(), std::runtime_error);
    EXPECT_EQ(pacer.waiting(), 1u);
    runTo(milliseconds(100));
    EXPECT_EQ(bytes(), (std::vector<Bytes>{NoteRef(2), ModeFlags(0)}));
}

TEST_F(Paced, FlushSendsEverythingWaitingInOrderAndThrowsTheFirstFailureLast) {
    pacer.send(NoteRef(1));
    pacer.send(NoteRef(2));
    pacer.send(ModeFlags(0));
    pacer.send({0xB0, 7, 1});
    failNext = 1;
    EXPECT_THROW(pacer.flush(), std::runtime_error);
    EXPECT_EQ(bytes(), (std::vector<Bytes>{NoteRef(1), ModeFlags(0), Bytes{0xB0, 7, 1}}));
    EXPECT_EQ(pacer.waiting(), 0u);
    EXPECT_FALSE(pacer.nextDue());
}

TEST_F(Paced, WithoutACableEveryMessageLeavesAtOnce) {
    pacer.send(NoteRef(1));
    pacer.send(NoteRef(2));
    pacer.setPaced(false);  // what waited leaves first
    EXPECT_EQ(sent.size(), 2u);
    for (int value = 3; value < 10; ++value)
        pacer.send(NoteRef(value));
    EXPECT_EQ(sent.size(), 9u);
    EXPECT_EQ(sent.back().at, CablePacer::Clock::duration{});
}

}  // namespace
