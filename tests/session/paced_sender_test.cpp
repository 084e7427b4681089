// SPDX-License-Identifier: GPL-3.0-or-later
// The paced output over the simulated converter behind a DIN cable: its clock catches up when
// the port finishes late, and a message that fails when its time comes is reported.
#include "parameter_bytes.h"
#include "session/PacedSender.h"
#include "virtual_midi_test.h"

#include <stdexcept>

namespace {

constexpr unsigned kDin = 2;  // "RDN417 Simulator (DIN)" among the default outputs

class PacedSenderTest : public VirtualMidiTest {
  protected:
    void SetUp() override {
        VirtualMidiTest::SetUp();
        output_.SetProductName(virtual_midi::kDinConverterName);
        ASSERT_TRUE(sender_.open());
    }
    void closePorts() override {
        virtual_midi::HoldCompletions(false);
        virtual_midi::ReleaseCompletions();
        sender_.close();
    }
    static bool carried(std::size_t messages) {
        return virtual_midi::Received(kDin).size() >= messages;
    }
    TMidiOutput output_{nullptr};
    PacedSender sender_{output_};
};

TEST_F(PacedSenderTest, APortThatFinishesLateHoldsTheNextMessageBack) {
    virtual_midi::HoldCompletions(true);
    sender_.send(Parameter(0, 126, 1));
    sender_.send(Parameter(0, 126, 2));
    // Both on the cable and past it, while the port has not said it finished either.
    ASSERT_TRUE(PumpUntil([] {
        const auto arrivals = virtual_midi::Arrivals(kDin);
        return arrivals.size() == 14 && arrivals.back().at <= CablePacer::Clock::now();
    }));
    const auto released = CablePacer::Clock::now();
    virtual_midi::HoldCompletions(false);
    virtual_midi::ReleaseCompletions();
    ASSERT_TRUE(PumpUntil([&] { return output_.PendingLongMessages() == 0; }));
    sender_.send(Parameter(0, 126, 3));
    ASSERT_TRUE(PumpUntil([] { return carried(3); }));
    // The port finished the first message only at the release, with the second still to go:
    // the third waits for that one, however long ago the pacer's own clock let it go.
    EXPECT_GE(virtual_midi::Arrivals(kDin)[14].taken,
              released + CablePacer::cableTime(7) - CablePacer::kEarly);
}

TEST_F(PacedSenderTest, AMessageThatFailsWhenItsTimeComesIsReportedOnce) {
    // Half a second on the cable: the message behind it waits, however busy this machine is.
    std::vector<std::uint8_t> bulk(1500, 0x00);
    bulk.front() = 0xF0;
    bulk[1] = 0x7D;
    bulk.back() = 0xF7;
    virtual_midi::FailNext(platform::midi::Operation::OutLongMsg, MIDIERR_NODEVICE, 1);
    sender_.send(bulk);
    sender_.send(Parameter(0, 126, 2));  // waits for the cable, then fails
    EXPECT_THROW(sender_.drain(std::chrono::seconds(5)), std::exception);
    sender_.send(Parameter(0, 126, 3));
    EXPECT_NO_THROW(sender_.drain(std::chrono::seconds(5)));
    std::vector<std::exception_ptr> failures;
    sender_.setOnFailure([&](std::exception_ptr failure) { failures.push_back(failure); });
    virtual_midi::FailNext(platform::midi::Operation::OutLongMsg, MIDIERR_NODEVICE, 1);
    sender_.send(bulk);
    sender_.send(Parameter(0, 126, 5));
    ASSERT_TRUE(PumpUntil([&] { return !failures.empty(); }));
    EXPECT_EQ(failures.size(), 1u);
}

}  // namespace
