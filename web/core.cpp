// SPDX-License-Identifier: GPL-3.0-or-later
// The converter's core as the web page calls it: the same messages, setup files, stored values,
// names and cable pacer as the window and the command line, compiled to WebAssembly.
#include "converter/CablePacer.h"
#include "converter/ControllerNames.h"
#include "converter/ConverterSetup.h"
#include "converter/NoteName.h"
#include "converter/ParameterMessage.h"
#include "converter/SetupFile.h"
#include "converter/StoredValues.h"

#include <emscripten.h>
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

using emscripten::val;
using Bytes = std::vector<std::uint8_t>;

val ToArray(const Bytes& bytes) {
    val array = val::global("Uint8Array").new_(bytes.size());
    array.call<void>("set", val(emscripten::typed_memory_view(bytes.size(), bytes.data())));
    return array;
}

Bytes FromArray(const val& array) {
    return emscripten::convertJSArrayToNumberVector<std::uint8_t>(array);
}

// A setup as the page holds it: {channel 0..15, noteRef, pitchTable, auxFromController,
// auxController (-1 for none)}.
ConverterSetup SetupOf(const val& object) {
    ConverterSetup setup;
    setup.channel = object["channel"].as<int>();
    setup.noteRef = object["noteRef"].as<int>();
    setup.pitchTable = object["pitchTable"].as<bool>();
    setup.auxFromController = object["auxFromController"].as<bool>();
    const int controller = object["auxController"].as<int>();
    if (controller >= 0)
        setup.auxController = controller;
    return setup;
}

val ObjectOf(const ConverterSetup& setup) {
    val object = val::object();
    object.set("channel", setup.channel);
    object.set("noteRef", setup.noteRef);
    object.set("pitchTable", setup.pitchTable);
    object.set("auxFromController", setup.auxFromController);
    object.set("auxController", setup.auxController.value_or(-1));
    return object;
}

val ParameterBytes(int channel, int code, int value) {
    const ParameterMessageBytes message = ParameterMessage(channel, code, value);
    return ToArray({message.begin(), message.end()});
}

val ControlChangeBytes(int channel, int controller, int value) {
    const ShortMessage message = ControlChangeMessage(channel, controller, value);
    return ToArray({message.status, message.data1, message.data2});
}

int ModeFlags(const val& setup) {
    return SetupOf(setup).modeFlags();
}

val SetupMessages(const val& setup) {
    val list = val::array();
    for (const Bytes& message : SetupOf(setup).messages())
        list.call<void>("push", ToArray(message));
    return list;
}

val SetupBytes(const val& setup, bool midi) {
    return ToArray(SetupFileBytes(SetupOf(setup), midi));
}

// {error, note, setup}: the file's setup over `base`, what keeps it from use (named as the
// desktop names a file), and what it skipped.
val ReadSetup(const std::string& name, const val& bytes, const val& base) {
    Bytes content = FromArray(bytes);
    const SetupFileContents contents = ParseSetupFile(content, SetupOf(base));
    val result = val::object();
    result.set("error",
               contents.error.empty() ? std::string() : NamedFileError(name, contents.error));
    result.set("note", SkippedMessagesNote(name, contents.skipped));
    result.set("setup", ObjectOf(contents.setup));
    return result;
}

val StoredOf(const val& setup) {
    const ConverterSetup converter = SetupOf(setup);
    val stored = val::object();
    for (const StoredSetupValue& value : kStoredSetupValues)
        stored.set(value.name, value.written(converter));
    return stored;
}

// The stored values over `base`; a value missing or not a whole number costs that value alone.
val SetupOfStored(const val& stored, const val& base) {
    ConverterSetup setup = SetupOf(base);
    for (const StoredSetupValue& value : kStoredSetupValues) {
        const val held = stored[value.name];
        if (held.isNumber() && val::global("Number").call<bool>("isInteger", held))
            value.read(held.as<std::int32_t>(), setup);
    }
    return ObjectOf(setup);
}

val ControllerItems() {
    val items = val::array();
    for (int entry = 0; entry < static_cast<int>(ControllerNames.size()); ++entry)
        items.call<void>("push", ControllerItemText(entry));
    return items;
}

std::string NoteText(int note) {
    return NoteName(note, 0, true);
}

// A time on the page's clock, the one Web MIDI's time stamps count in (milliseconds).
CablePacer::Clock::time_point PageTime(double milliseconds) {
    return CablePacer::Clock::time_point(std::chrono::duration_cast<CablePacer::Clock::duration>(
        std::chrono::duration<double, std::milli>(milliseconds)));
}

CablePacer::Clock::time_point PageNow() {
    return PageTime(emscripten_get_now());
}

double Milliseconds(CablePacer::Clock::time_point at) {
    return std::chrono::duration<double, std::milli>(at.time_since_epoch()).count();
}

// The cable pacer over a JavaScript function that sends one message at the time it is given,
// on the page's clock, and returns when the message really started, or -1 when it could not be
// sent; it never throws: the page says a failed send itself. Web MIDI's send(data, timestamp)
// keeps to a time better than the page's timers, which a busy page delays by milliseconds.
class Pacer {
  public:
    explicit Pacer(val send)
        : send_(std::move(send)),
          pacer_(
              [this](const Bytes& message) {
                  const double started =
                      send_(ToArray(message), Milliseconds(pacer_.cableFreeAt())).as<double>();
                  if (started >= 0)
                      handed_ = Handed{started, message.size()};
              },
              &PageNow) {}
    void send(const val& message) {
        pacer_.send(FromArray(message));
        catchUp();
    }
    void sendDue() {
        pacer_.sendDue();
        catchUp();
    }
    void flush() {
        pacer_.flush();
        catchUp();
    }
    void setPaced(bool paced) { pacer_.setPaced(paced); }
    std::size_t waiting() const { return pacer_.waiting(); }
    // When the next waiting message may leave, on the page's clock; -1 when none waits.
    double nextDue() const {
        const auto due = pacer_.nextDue();
        return due ? Milliseconds(*due) : -1;
    }

  private:
    // A message that started later than the pacer's clock read before it (the browser busy in
    // between) keeps the cable busy until it has passed, so the next one is not sent on top.
    void catchUp() {
        if (!handed_)
            return;
        pacer_.finished(PageTime(handed_->started) + CablePacer::cableTime(handed_->bytes), 0);
        handed_.reset();
    }

    struct Handed {
        double started;
        std::size_t bytes;
    };
    val send_;
    CablePacer pacer_;
    std::optional<Handed> handed_;
};

double MessageTime(std::size_t bytes) {
    return std::chrono::duration<double, std::milli>(CablePacer::cableTime(bytes)).count();
}

}  // namespace

EMSCRIPTEN_BINDINGS(rdn417_core) {
    emscripten::constant("codeModeFlags", static_cast<int>(pcModeFlags));
    emscripten::constant("codeAuxController", static_cast<int>(pcAuxController));
    emscripten::constant("codeNoteRef", static_cast<int>(pcNoteRef));
    emscripten::function("parameterMessage", &ParameterBytes);
    emscripten::function("controlChange", &ControlChangeBytes);
    emscripten::function("modeFlags", &ModeFlags);
    emscripten::function("setupMessages", &SetupMessages);
    emscripten::function("setupFileBytes", &SetupBytes);
    emscripten::function("isMidiFileName", &IsMidiFileName);
    emscripten::function("readSetupFile", &ReadSetup);
    emscripten::function("storedOf", &StoredOf);
    emscripten::function("setupOfStored", &SetupOfStored);
    emscripten::function("controllerItems", &ControllerItems);
    emscripten::function("noteName", &NoteText);
    emscripten::function("cableTime", &MessageTime);
    emscripten::class_<Pacer>("Pacer")
        .constructor<val>()
        .function("send", &Pacer::send)
        .function("sendDue", &Pacer::sendDue)
        .function("flush", &Pacer::flush)
        .function("setPaced", &Pacer::setPaced)
        .function("waiting", &Pacer::waiting)
        .function("nextDue", &Pacer::nextDue);
}
