// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi_driver_kit.h"
#include "platform/win32.h"
#include "virtual_midi_test.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using platform::midi::Operation;
using virtual_midi::Bytes;

class MidiIn : public VirtualMidiTest {
  protected:
    void SetUp() override {
        VirtualMidiTest::SetUp();
        ASSERT_EQ(
            midiInOpen(&in_, 0, recorder_.function(), recorder_.instance(), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
    }
    void closePorts() override {
        if (in_ == nullptr)
            return;
        midiInReset(in_);
        for (auto& h : headers_)
            midiInUnprepareHeader(in_, &h, sizeof h);
        EXPECT_EQ(midiInClose(in_), MMSYSERR_NOERROR);
    }

    // Prepares and adds `count` receive buffers of `size` bytes.
    void addBuffers(std::size_t count, std::size_t size) {
        for (std::size_t i = 0; i < count; ++i) {
            storage_[i].assign(size, 0);
            MIDIHDR& h = headers_[i] = HeaderOver(storage_[i]);
            ASSERT_EQ(midiInPrepareHeader(in_, &h, sizeof h), MMSYSERR_NOERROR);
            ASSERT_EQ(midiInAddBuffer(in_, &h, sizeof h), MMSYSERR_NOERROR);
        }
    }

    Bytes recorded(const MIDIHDR& h) { return Bytes(h.lpData, h.lpData + h.dwBytesRecorded); }

    CallbackRecorder recorder_;
    HMIDIIN in_ = nullptr;
    std::array<std::vector<char>, 4> storage_;
    std::array<MIDIHDR, 4> headers_{};
};

TEST_F(MidiIn, ListsTheLoopbackInputAndRefusesBadDevices) {
    ASSERT_EQ(midiInGetNumDevs(), 1u);
    MIDIINCAPSA caps{};
    ASSERT_EQ(midiInGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Virtual Loopback In");
    EXPECT_EQ(midiInGetDevCapsA(1, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(midiInGetDevCapsA(MIDI_MAPPER, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
    HMIDIIN other = nullptr;
    EXPECT_EQ(midiInOpen(&other, 0, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
    EXPECT_EQ(midiInOpen(&other, 1, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(midiInOpen(&other, 0xFFFF, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(recorder_.calls(MIM_OPEN).size(), 1u);
}

TEST_F(MidiIn, NothingArrivesBeforeStartThenShortMessagesCarryTheirTimeStamps) {
    ASSERT_TRUE(virtual_midi::InjectShort(0, 0x404090));
    virtual_midi::Flush();
    EXPECT_TRUE(recorder_.calls(MIM_DATA).empty());

    ASSERT_EQ(midiInStart(in_), MMSYSERR_NOERROR);
    virtual_midi::InjectShort(0, 0x7F0BB3, 250);
    virtual_midi::InjectShort(0, 0xFE, 251);
    virtual_midi::InjectShort(0, 0xF8, 252);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    virtual_midi::InjectShort(0, 0x00C0);  // stamped by the port's own clock
    virtual_midi::Flush();

    auto data = recorder_.calls(MIM_DATA);
    ASSERT_EQ(data.size(), 4u);
    EXPECT_EQ(data[0].param1, 0x7F0BB3u);
    EXPECT_EQ(data[0].param2, 250u);
    EXPECT_EQ(data[1].param1, 0xFEu);  // the port passes everything; filtering is the caller's
    EXPECT_EQ(data[2].param1, 0xF8u);
    EXPECT_EQ(data[3].param1, 0xC0u);
    EXPECT_GE(data[3].param2, 30u);
    EXPECT_LT(data[3].param2, 60'000u);
    EXPECT_EQ(data[0].handle, static_cast<void*>(in_));
    EXPECT_NE(data[0].thread, std::this_thread::get_id());
}

TEST_F(MidiIn, SysexFillsTheAddedBuffersInOrder) {
    addBuffers(3, 8);
    ASSERT_EQ(midiInStart(in_), MMSYSERR_NOERROR);
    virtual_midi::InjectSysex(0, Parameter(1, 126, 12), 10);
    // Longer than one buffer: continues in the next.
    virtual_midi::InjectSysex(0, {0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0xF7}, 20);
    virtual_midi::Flush();

    auto longData = recorder_.calls(MIM_LONGDATA);
    ASSERT_EQ(longData.size(), 3u);
    EXPECT_EQ(longData[0].param1, reinterpret_cast<DWORD_PTR>(&headers_[0]));
    EXPECT_EQ(longData[0].param2, 10u);
    EXPECT_EQ(recorded(headers_[0]), Parameter(1, 126, 12));
    EXPECT_EQ(headers_[0].dwFlags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
    EXPECT_EQ(longData[1].param1, reinterpret_cast<DWORD_PTR>(&headers_[1]));
    EXPECT_EQ(recorded(headers_[1]), (Bytes{0xF0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(longData[2].param1, reinterpret_cast<DWORD_PTR>(&headers_[2]));
    EXPECT_EQ(recorded(headers_[2]), (Bytes{8, 9, 0xF7}));
    EXPECT_EQ(longData[2].param2, 20u);
}

TEST_F(MidiIn, FaultySysexComesBackAsLongErrorAndLostSysexIsReported) {
    addBuffers(1, 16);
    ASSERT_EQ(midiInStart(in_), MMSYSERR_NOERROR);
    virtual_midi::InjectSysex(0, {0xF0, 0x70, 0x01, 0x90}, 5);  // cut short by a status byte
    virtual_midi::InjectSysex(0, {0xF0, 0x01, 0xF7}, 6);        // no buffer left
    virtual_midi::Flush();

    auto errors = recorder_.calls(MIM_LONGERROR);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].param1, reinterpret_cast<DWORD_PTR>(&headers_[0]));
    EXPECT_EQ(errors[0].param2, 5u);
    EXPECT_EQ(recorded(headers_[0]), (Bytes{0xF0, 0x70, 0x01, 0x90}));
    auto lost = recorder_.calls(MIM_ERROR);
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].param2, 6u);
}

TEST_F(MidiIn, ResetReturnsEveryHeldBufferBeforeItReturns) {
    addBuffers(4, 32);
    ASSERT_EQ(midiInStart(in_), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInClose(in_), MIDIERR_STILLPLAYING);
    EXPECT_EQ(midiInUnprepareHeader(in_, &headers_[0], sizeof(MIDIHDR)), MIDIERR_STILLPLAYING);

    ASSERT_EQ(midiInReset(in_), MMSYSERR_NOERROR);
    auto returned = recorder_.calls(MIM_LONGDATA);
    ASSERT_EQ(returned.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(returned[i].param1, reinterpret_cast<DWORD_PTR>(&headers_[i]));
        EXPECT_EQ(headers_[i].dwBytesRecorded, 0u);
        EXPECT_EQ(headers_[i].dwFlags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
    }
    // Reception stopped with the reset.
    virtual_midi::InjectShort(0, 0x90);
    virtual_midi::Flush();
    EXPECT_TRUE(recorder_.calls(MIM_DATA).empty());
    for (auto& h : headers_)
        EXPECT_EQ(midiInUnprepareHeader(in_, &h, sizeof h), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInClose(in_), MMSYSERR_NOERROR);
    EXPECT_EQ(recorder_.calls(MIM_CLOSE).size(), 1u);
    EXPECT_FALSE(virtual_midi::InjectShort(0, 0x90));
    EXPECT_EQ(midiInStart(in_), MMSYSERR_INVALHANDLE);
    in_ = nullptr;
}

TEST_F(MidiIn, BufferRulesFollowWindows) {
    std::vector<char> data(8);
    MIDIHDR h = HeaderOver(data);
    EXPECT_EQ(midiInAddBuffer(in_, &h, sizeof h), MIDIERR_UNPREPARED);
    EXPECT_EQ(midiInPrepareHeader(nullptr, &h, sizeof h), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(midiInPrepareHeader(in_, &h, 64), MMSYSERR_INVALPARAM);
    ASSERT_EQ(midiInPrepareHeader(in_, &h, sizeof h), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInAddBuffer(in_, &h, sizeof h), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInAddBuffer(in_, &h, sizeof h), MIDIERR_STILLPLAYING);
    ASSERT_EQ(midiInReset(in_), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInUnprepareHeader(in_, &h, sizeof h), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInReset(nullptr), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(midiInStart(nullptr), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(midiInClose(nullptr), MMSYSERR_INVALHANDLE);
}

TEST_F(MidiIn, WhatTheLoopbackOutputSendsArrivesOnTheInput) {
    addBuffers(1, 16);
    ASSERT_EQ(midiInStart(in_), MMSYSERR_NOERROR);
    HMIDIOUT out = nullptr;
    ASSERT_EQ(midiOutOpen(&out, 1, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutShortMsg(out, 0x3C4091), MMSYSERR_NOERROR);
    std::vector<char> sysex = ParameterChars(2, 124, 0x20);
    MIDIHDR h = HeaderOver(sysex);
    ASSERT_EQ(midiOutPrepareHeader(out, &h, sizeof h), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutLongMsg(out, &h, sizeof h), MMSYSERR_NOERROR);
    virtual_midi::Flush();

    auto data = recorder_.calls(MIM_DATA);
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(data[0].param1, 0x3C4091u);
    ASSERT_EQ(recorder_.calls(MIM_LONGDATA).size(), 1u);
    EXPECT_EQ(recorded(headers_[0]), Parameter(2, 124, 0x20));
    EXPECT_EQ(midiOutUnprepareHeader(out, &h, sizeof h), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(MidiIn, InjectedFaultsFailOnlyTheNextCall) {
    virtual_midi::FailNext(Operation::InStart, MMSYSERR_ERROR);
    EXPECT_EQ(midiInStart(in_), MMSYSERR_ERROR);
    virtual_midi::FailNext(Operation::InReset, MMSYSERR_NOTENABLED);
    EXPECT_EQ(midiInReset(in_), MMSYSERR_NOTENABLED);
    std::vector<char> data(8);
    MIDIHDR h = HeaderOver(data);
    virtual_midi::FailNext(Operation::InPrepareHeader, MMSYSERR_NOMEM);
    EXPECT_EQ(midiInPrepareHeader(in_, &h, sizeof h), MMSYSERR_NOMEM);
    ASSERT_EQ(midiInPrepareHeader(in_, &h, sizeof h), MMSYSERR_NOERROR);
    virtual_midi::FailNext(Operation::InAddBuffer, MMSYSERR_NOMEM);
    EXPECT_EQ(midiInAddBuffer(in_, &h, sizeof h), MMSYSERR_NOMEM);
    EXPECT_FALSE(h.dwFlags & MHDR_INQUEUE);
    virtual_midi::FailNext(Operation::InUnprepareHeader, MMSYSERR_ERROR);
    EXPECT_EQ(midiInUnprepareHeader(in_, &h, sizeof h), MMSYSERR_ERROR);
    EXPECT_EQ(midiInUnprepareHeader(in_, &h, sizeof h), MMSYSERR_NOERROR);
    virtual_midi::FailNext(Operation::InClose, MMSYSERR_ERROR);
    EXPECT_EQ(midiInClose(in_), MMSYSERR_ERROR);
    virtual_midi::FailNext(Operation::InOpen, MMSYSERR_ALLOCATED);
    HMIDIIN other = nullptr;
    EXPECT_EQ(midiInOpen(&other, 0, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
    virtual_midi::FailNext(Operation::InGetDevCaps, MMSYSERR_NODRIVER);
    MIDIINCAPSA caps{};
    EXPECT_EQ(midiInGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NODRIVER);
}

TEST(MidiInThreads, InjectionFromManyThreadsWhileTheGuiThreadAddsBuffers) {
    virtual_midi::Reset();
    CallbackRecorder recorder;
    HMIDIIN in = nullptr;
    ASSERT_EQ(midiInOpen(&in, 0, recorder.function(), recorder.instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    constexpr int kPerThread = 500;
    std::vector<std::thread> injectors;
    for (int t = 0; t < 3; ++t) {
        injectors.emplace_back([t] {
            for (int i = 0; i < kPerThread; ++i)
                virtual_midi::InjectShort(0, 0x90 | (t << 8) | ((i & 0x7F) << 16));
        });
    }
    std::vector<std::vector<char>> storage(20, std::vector<char>(4));
    std::vector<MIDIHDR> headers(20);
    for (std::size_t i = 0; i < headers.size(); ++i) {
        headers[i] = HeaderOver(storage[i]);
        ASSERT_EQ(midiInPrepareHeader(in, &headers[i], sizeof(MIDIHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(midiInAddBuffer(in, &headers[i], sizeof(MIDIHDR)), MMSYSERR_NOERROR);
        virtual_midi::InjectSysex(0, {0xF0, static_cast<std::uint8_t>(i), 0xF7});
    }
    for (auto& injector : injectors)
        injector.join();
    virtual_midi::Flush();
    EXPECT_EQ(recorder.calls(MIM_DATA).size(), 3u * kPerThread);
    EXPECT_EQ(recorder.calls(MIM_LONGDATA).size(), 20u);
    ASSERT_EQ(midiInReset(in), MMSYSERR_NOERROR);
    for (auto& h : headers)
        ASSERT_EQ(midiInUnprepareHeader(in, &h, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
}

}  // namespace
