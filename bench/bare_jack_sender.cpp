// SPDX-License-Identifier: GPL-3.0-or-later
// The floor of the command line's benchmark: a program that does only what a send from the
// command line must do on JACK. Usage: bare_jack_sender CLIENT PORT HEXBYTES... (one argument
// per message, bytes without blanks). Opens RtMidi's JACK output, connects it to PORT, sends the
// messages at once and stays a moment, so that JACK has carried them before the port closes.
#include <rtmidi/RtMidi.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 4)
        return 2;
    RtMidiOut out(RtMidi::UNIX_JACK, argv[1]);
    for (unsigned i = 0; i < out.getPortCount(); ++i) {
        if (out.getPortName(i) != argv[2])
            continue;
        out.openPort(i, "out");
        for (int m = 3; m < argc; ++m) {
            std::vector<std::uint8_t> bytes;
            for (const char* at = argv[m]; at[0] != '\0' && at[1] != '\0'; at += 2)
                bytes.push_back(
                    static_cast<std::uint8_t>(std::stoi(std::string(at, 2), nullptr, 16)));
            out.sendMessage(&bytes);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return 0;
    }
    std::fprintf(stderr, "bare_jack_sender: no port %s\n", argv[2]);
    return 3;
}
