// SPDX-License-Identifier: GPL-3.0-or-later
// In-process MIDI ports: a simulated converter, a loopback output whose bytes come back on an
// input, and inputs that tests feed.
#pragma once

#include "../backend.h"
#include "platform/virtual_midi.h"
#include "simulated_converter.h"

#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform::midi {

class VirtualBackend : public Backend {
  public:
    struct Output {
        virtual_midi::OutputPort spec;
        std::vector<Bytes> received;
        SimulatedConverter converter;
        bool gone = false;  // no longer listed
        // Behind a cable: when it is free again, and the messages on it, each with the time of
        // its last byte.
        std::chrono::steady_clock::time_point cableFreeAt{};
        std::deque<std::pair<std::chrono::steady_clock::time_point, Bytes>> onCable;
        std::vector<virtual_midi::ByteArrival> arrivals;
        // Tells it apart from a port of the same name: a device of its own.
        std::uint64_t serial = 0;
    };
    struct Input {
        std::string name;
        std::shared_ptr<InputSink> sink;  // while open
        std::uint64_t serial = 0;
    };

    VirtualBackend();

    std::vector<std::string> outputNames() override;
    std::vector<std::string> inputNames() override;
    WORD outputTechnology(unsigned index) override;
    MMRESULT openOutput(unsigned index, std::unique_ptr<OutputConnection>& connection) override;
    MMRESULT openInput(unsigned index, std::shared_ptr<InputSink> sink,
                       std::unique_ptr<InputConnection>& connection) override;

    // Ports listed before under the same name (and kind) stay as they were, open or not, with
    // their records; the others are gone.
    void setPorts(std::vector<virtual_midi::OutputPort> outputs, std::vector<std::string> inputs);
    // The default ports, all new.
    void reset();
    std::vector<Bytes> received(unsigned index);
    std::vector<virtual_midi::ByteArrival> arrivals(unsigned index);
    // When every cable has carried what it took.
    std::chrono::steady_clock::time_point cablesFreeAt();
    virtual_midi::ConverterState converter(unsigned index);
    // The sink of open input `index`, or null.
    std::shared_ptr<InputSink> inputSink(unsigned index);

  private:
    class OutputLink;
    class InputLink;

    MMRESULT take(Output& output, std::span<const std::uint8_t> bytes);
    // Mutex held: what has come off the cable by now is recorded and decoded.
    static void land(Output& output);
    // Mutex held: records and decodes a message that has reached the port.
    static void arrive(Output& output, std::span<const std::uint8_t> bytes);
    void replacePorts(std::vector<virtual_midi::OutputPort> outputs,
                      std::vector<std::string> inputs);

    std::mutex mutex_;
    std::uint64_t serials_ = 0;
    std::vector<std::shared_ptr<Output>> outputs_;
    std::vector<std::shared_ptr<Input>> inputs_;
};

}  // namespace platform::midi
