// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiFile.h"

#include <cstdio>
#include <optional>

namespace {

// Reads a file's bytes front to back; every read says whether the bytes were there.
class Cursor {
  public:
    Cursor(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t end)
        : bytes_(bytes), at_(at), end_(end) {}

    bool done() const { return at_ >= end_; }
    std::size_t at() const { return at_; }
    std::optional<std::uint8_t> peek() const {
        return done() ? std::nullopt : std::optional(bytes_[at_]);
    }
    std::optional<std::uint8_t> byte() {
        auto value = peek();
        at_ += value ? 1 : 0;
        return value;
    }
    std::optional<std::uint32_t> big(int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            const auto next = byte();
            if (!next)
                return std::nullopt;
            value = (value << 8) | *next;
        }
        return value;
    }
    // A variable-length quantity: seven bits a byte, at most four bytes.
    std::optional<std::uint32_t> quantity() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const auto next = byte();
            if (!next)
                return std::nullopt;
            value = (value << 7) | (*next & 0x7F);
            if (*next < 0x80)
                return value;
        }
        return std::nullopt;
    }
    std::optional<std::span<const std::uint8_t>> take(std::uint32_t count) {
        if (count > end_ - at_)
            return std::nullopt;
        const auto part = bytes_.subspan(at_, count);
        at_ += count;
        return part;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_;
    std::size_t end_;
};

bool EndsMessage(std::span<const std::uint8_t> data) {
    return !data.empty() && data.back() == 0xF7;
}

// The System Exclusive messages of one track, appended to `messages`; the reason when the
// track cannot be read.
std::string ReadTrack(Cursor track, std::vector<std::uint8_t>& messages) {
    const std::string cut = "one of its tracks is cut short";
    std::uint8_t running = 0;
    // A message split into packets: the first (F0) without its end, the rest as F7 events.
    std::vector<std::uint8_t> open;
    while (!track.done()) {
        if (!track.quantity())
            return cut;
        auto status = track.peek();
        if (!status)
            return cut;
        if (*status < 0x80) {
            if (running == 0)
                return "an event in one of its tracks has no status byte";
            status = running;
        } else {
            track.byte();
        }
        if (*status == 0xFF) {
            const auto type = track.byte();
            const auto length = type ? track.quantity() : std::nullopt;
            if (!length || !track.take(*length))
                return cut;
            running = 0;
            if (*type == 0x2F)
                break;
        } else if (*status == 0xF0 || *status == 0xF7) {
            const auto length = track.quantity();
            const auto data = length ? track.take(*length) : std::nullopt;
            if (!data)
                return cut;
            running = 0;
            if (*status == 0xF0 && EndsMessage(*data)) {
                // A whole message, as nearly every file holds them.
                messages.push_back(0xF0);
                messages.insert(messages.end(), data->begin(), data->end());
                open.clear();
            } else if (*status == 0xF0) {
                open.assign(1, 0xF0);
                open.insert(open.end(), data->begin(), data->end());
            } else if (!open.empty()) {
                open.insert(open.end(), data->begin(), data->end());
            } else if (!data->empty() && data->front() == 0xF0) {
                // An escape that carries a whole message as it is.
                open.assign(data->begin(), data->end());
            }
            if (!open.empty() && EndsMessage(open)) {
                messages.insert(messages.end(), open.begin(), open.end());
                open.clear();
            }
        } else if (*status >= 0x80 && *status < 0xF0) {
            running = *status;
            const int data = (*status & 0xF0) == 0xC0 || (*status & 0xF0) == 0xD0 ? 1 : 2;
            if (!track.take(static_cast<std::uint32_t>(data)))
                return cut;
        } else {
            char text[8];
            std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(*status));
            return std::string("one of its tracks holds an event that no MIDI file holds (") +
                   text + ")";
        }
    }
    if (!open.empty())
        return "a System Exclusive message in one of its tracks has no end (0xF7)";
    return {};
}

}  // namespace

bool IsMidiFile(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 4 && bytes[0] == 'M' && bytes[1] == 'T' && bytes[2] == 'h' &&
           bytes[3] == 'd';
}

MidiFileSysex SysexOfMidiFile(std::span<const std::uint8_t> bytes) {
    MidiFileSysex read;
    read.messages.reserve(bytes.size());
    Cursor file(bytes, 4, bytes.size());
    const auto headerLength = file.big(4);
    const auto format = file.big(2);
    if (!headerLength || *headerLength < 6 || !format || !file.big(2) || !file.big(2) ||
        !file.take(*headerLength - 6)) {
        read.error = "its header is cut short";
        return read;
    }
    if (*format > 1) {
        read.error = "of format " + std::to_string(*format) +
                     (*format == 2 ? " (patterns that do not make one song)" : "") +
                     ", which is not read; formats 0 and 1 are";
        return read;
    }
    while (!file.done()) {
        const auto id = file.take(4);
        const auto length = id ? file.big(4) : std::nullopt;
        const auto start = file.at();
        if (!length || !file.take(*length)) {
            read.error = "it is cut short";
            return read;
        }
        const bool isTrack =
            (*id)[0] == 'M' && (*id)[1] == 'T' && (*id)[2] == 'r' && (*id)[3] == 'k';
        if (!isTrack)
            continue;  // chunks of other kinds are passed over, as the format asks
        read.error = ReadTrack(Cursor(bytes, start, start + *length), read.messages);
        if (!read.error.empty())
            return read;
    }
    return read;
}

namespace {

constexpr std::uint32_t kTicksPerBeat = 480;
constexpr std::uint32_t kMicrosecondsPerBeat = 500000;

void Append(std::vector<std::uint8_t>& to, std::uint32_t value, int bytes) {
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        to.push_back(static_cast<std::uint8_t>(value >> shift));
}

void AppendQuantity(std::vector<std::uint8_t>& to, std::uint32_t value) {
    std::uint8_t groups[5];
    int count = 0;
    do {
        groups[count++] = value & 0x7F;
        value >>= 7;
    } while (value != 0);
    while (count > 0) {
        --count;
        to.push_back(static_cast<std::uint8_t>(groups[count] | (count > 0 ? 0x80 : 0)));
    }
}

}  // namespace

std::vector<std::uint8_t> MidiFileOf(const std::vector<std::vector<std::uint8_t>>& messages) {
    std::vector<std::uint8_t> track;
    // The tempo, said rather than left to the reader's default.
    track.insert(track.end(), {0x00, 0xFF, 0x51, 0x03});
    Append(track, kMicrosecondsPerBeat, 3);
    std::uint32_t delta = 0;
    for (const auto& message : messages) {
        AppendQuantity(track, delta);
        track.push_back(0xF0);
        AppendQuantity(track, static_cast<std::uint32_t>(message.size() - 1));
        track.insert(track.end(), message.begin() + 1, message.end());
        // Whole ticks of at least the cable's time for this message.
        const std::uint64_t cable = message.size() * 320 * std::uint64_t{kTicksPerBeat};
        delta =
            static_cast<std::uint32_t>((cable + kMicrosecondsPerBeat - 1) / kMicrosecondsPerBeat);
    }
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
    std::vector<std::uint8_t> file{'M', 'T', 'h', 'd'};
    Append(file, 6, 4);
    Append(file, 0, 2);  // format 0
    Append(file, 1, 2);  // one track
    Append(file, kTicksPerBeat, 2);
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    Append(file, static_cast<std::uint32_t>(track.size()), 4);
    file.insert(file.end(), track.begin(), track.end());
    return file;
}
