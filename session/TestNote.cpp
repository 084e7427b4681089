// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestNote.h"

#include "converter/ParameterMessage.h"

#include <array>
#include <utility>

namespace {

std::array<std::uint8_t, 3> Bytes(const ShortMessage& message) {
    return {message.status, message.data1, message.data2};
}

}  // namespace

void TestNote::sound(std::optional<Note> wanted) {
    if (sounding_ == wanted)
        return;
    if (const auto old = std::exchange(sounding_, std::nullopt))
        send_(Bytes(NoteOffMessage(old->channel, old->note)));
    if (wanted) {
        send_(Bytes(NoteOnMessage(wanted->channel, wanted->note, kVelocity)));
        sounding_ = wanted;
    }
}

void TestNote::panic(Note note) {
    const bool wasSounding = sounding_ == note;
    release();
    if (!wasSounding)
        send_(Bytes(NoteOffMessage(note.channel, note.note)));
    send_(Bytes(AllNotesOffMessage(note.channel)));
}
