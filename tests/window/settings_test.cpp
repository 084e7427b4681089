// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/testing.h"
#include "session/RegistryKey.h"
#include "window_fixture.h"

#include <filesystem>
#include <map>

namespace {

constexpr const char* kPath = "Software\\Korvalen\\RDN417_V28";

using Stored = std::vector<std::pair<const char*, std::int32_t>>;

void store(const Stored& values) {
    auto key = RegistryKey::Open(kPath, true);
    ASSERT_TRUE(key.has_value());
    for (const auto& [name, value] : values)
        key->WriteInteger(name, value);
}

// The nine values as integers; a missing one or one of another type is left out.
std::map<std::string, std::int32_t> storedValues() {
    std::map<std::string, std::int32_t> values;
    const auto key = RegistryKey::Open(kPath, false);
    for (const char* name :
         {"PX", "PY", "CAN", "NREF", "CREF", "VOCT", "VELO", "midiIN", "midiOUT"})
        try {
            values[name] = key.value().ReadInteger(name);
        } catch (const std::exception&) {  // no key, or no integer of that name
        }
    return values;
}

const Stored kAll{{"midiIN", 0}, {"midiOUT", 1}, {"PX", 100}, {"PY", 50}, {"CAN", 3},
                  {"NREF", 36},  {"CREF", 8},    {"VOCT", 0}, {"VELO", 1}};

using Settings = Window;

TEST_F(Settings, AFirstRunKeepsTheDefaultsAndClosingStoresAllNine) {
    TForm1& form = create();
    EXPECT_EQ(form.pos(), QPoint(239, 202));
    EXPECT_EQ(form.potcanal->State(), 1);
    EXPECT_TRUE(storedValues().empty());
    ASSERT_TRUE(form.close());
    const std::map<std::string, std::int32_t> defaults{{"PX", 239},  {"PY", 202},   {"CAN", 1},
                                                       {"NREF", 12}, {"CREF", 0},   {"VOCT", 1},
                                                       {"VELO", 0},  {"midiIN", 0}, {"midiOUT", 0}};
    EXPECT_EQ(storedValues(), defaults);
}

TEST_F(Settings, EverythingStoredComesBackAndNothingIsSentWhileLoading) {
    store(kAll);
    MessageBoxCatcher boxes;
    TForm1& form = create();
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(form.pos(), QPoint(100, 50));
    EXPECT_EQ(form.cmbOutput->currentIndex(), 1);
    EXPECT_EQ(form.MidiOutput1->ProductName(), "Virtual Loopback Out");
    EXPECT_EQ(form.potcanal->State(), 3);
    EXPECT_EQ(form.potnote->State(), 36);
    EXPECT_EQ(form.potnote->text(), "C 1");
    EXPECT_EQ(form.ComboBox3->currentIndex(), 8);
    // "VOCT" 0 selects the table and sends nothing, and "VELO" after it is still applied.
    EXPECT_TRUE(form.RadioTable->isChecked());
    EXPECT_TRUE(form.RadioVelo->isChecked());
    EXPECT_TRUE(received().empty());
    EXPECT_TRUE(virtual_midi::Received(1).empty());
    ASSERT_TRUE(form.close());
    auto saved = storedValues();
    EXPECT_EQ(saved["VOCT"], 0);
    EXPECT_EQ(saved["VELO"], 1);
    EXPECT_EQ(saved["midiOUT"], 1);
    EXPECT_EQ(saved["NREF"], 36);
}

TEST_F(Settings, AMissingValueCostsThatValueAloneAndOneOfAnotherTypeIsNamed) {
    Stored withoutPorts;
    for (const auto& value : kAll)
        if (std::string(value.first) != "CAN" && std::string(value.first).rfind("midi", 0) != 0)
            withoutPorts.push_back(value);
    store(withoutPorts);
    RegistryKey::Open(kPath, false)->WriteString("CAN", "16");
    MessageBoxCatcher boxes;
    TForm1& form = create();
    EXPECT_EQ(form.pos(), QPoint(100, 50));
    EXPECT_EQ(form.potcanal->State(), 1);
    EXPECT_EQ(form.potnote->State(), 36);
    EXPECT_EQ(form.ComboBox3->currentIndex(), 8);
    EXPECT_TRUE(form.RadioTable->isChecked());
    EXPECT_TRUE(form.RadioVelo->isChecked());
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_EQ(boxes.texts()[0],
              "The stored channel (\"CAN\") is not a number; the channel shown "
              "is the default. It is stored anew when the window closes.");
}

TEST_F(Settings, StoredValuesAreLimitedByTheControls) {
    const Stored outOfRange{{"midiIN", 0}, {"midiOUT", 0}, {"PX", 10},   {"PY", 10},
                            {"CAN", 40},   {"NREF", -5},   {"CREF", 500}};
    store(outOfRange);
    TForm1& form = create();
    EXPECT_EQ(form.potcanal->State(), 16);
    EXPECT_EQ(form.potnote->State(), 0);
    EXPECT_EQ(form.potnote->text(), "C -2");
    EXPECT_EQ(form.ComboBox3->currentIndex(), -1);
}

TEST_F(Settings, AStoredInputThatIsGoneLeavesNoSelectionAndTheOutputStillOpens) {
    store({{"midiIN", 5}, {"midiOUT", 0}});
    MessageBoxCatcher boxes;
    TForm1& form = create();
    EXPECT_EQ(form.cmbInput->currentIndex(), -1);
    EXPECT_EQ(boxes.texts(),
              std::vector<QString>{"MIDI Input Device  not installed.\n\nNo MIDI input port could "
                                   "be opened. The converter is still set through the output. To "
                                   "learn values from a keyboard, connect it and pick its port as "
                                   "\"In\" on the MIDI page."});
    EXPECT_EQ(form.MidiInput1->State(), psClosed);
    EXPECT_EQ(form.MidiOutput1->State(), psOpen);
    drag(form.potnote, {1});
    EXPECT_EQ(received().size(), 2u);
}

TEST_F(Settings, APlaceholderStoredAsAPortNameByAnEarlierVersionIsNoPort) {
    store({{"midiIN", 0}, {"midiOUT", 0}});
    RegistryKey::Open(kPath, false)->WriteString("midiINName", "No MIDI Input Device");
    MessageBoxCatcher boxes;
    TForm1& form = create();
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(form.cmbInput->currentText(), "Virtual Loopback In");
    EXPECT_EQ(form.MidiInput1->State(), psOpen);
}

TEST_F(Settings, APositionOffEveryScreenFallsBackToTheDefault) {
    store({{"midiIN", 0}, {"midiOUT", 0}, {"PX", 30000}, {"PY", -30000}});
    TForm1& form = create();
    EXPECT_EQ(form.pos(), QPoint(239, 202));
}

TEST_F(Settings, ADamagedFileIsKeptAsideAndTheDefaultsApply) {
    config_.write("Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Soft");
    TForm1& form = create();
    EXPECT_EQ(form.potcanal->State(), 1);
    ASSERT_TRUE(form.close());
    // The save that drops the unreadable line keeps the file as it was beside it.
    EXPECT_EQ(config_.keptAside().size(), 1u);
    EXPECT_EQ(storedValues().size(), 9u);
}

TEST_F(Settings, SettingsThatCannotBeReadAreSaidOnceAndNeverOverwrittenByTheDefaults) {
    // In place of the settings file, a device that reads without end.
    std::filesystem::create_directories(config_.folder());
    std::filesystem::create_symlink("/dev/zero", config_.hive());
    MessageBoxCatcher boxes;
    TForm1& form = create();
    EXPECT_EQ(form.potcanal->State(), 1);
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_TRUE(boxes.texts()[0].startsWith(QString::fromStdString(
        "The settings in " + config_.hive().string() + " could not be read: it cannot be read (")));
    // Stored values that could not be read when the window opened, readable by its close.
    std::filesystem::remove(config_.hive());
    const std::string stored =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\Software\\Korvalen\\RDN417_V28]\n"
        "\"CAN\"=dword:00000007\n";
    config_.write(stored);
    form.potcanal->setState(9);
    EXPECT_TRUE(form.close());
    EXPECT_EQ(form.MidiOutput1->State(), psClosed);
    EXPECT_EQ(config_.read(), stored);
    EXPECT_EQ(boxes.texts().size(), 2u);
    EXPECT_NE(boxes.texts().back().indexOf("could not be saved"), -1);
}

TEST_F(Settings, ASaveThatCannotFinishLeavesThePreviousSettingsAndSaysSo) {
    store(kAll);
    const std::string before = config_.read();
    TForm1& form = create();
    form.potcanal->setState(9);
    MessageBoxCatcher boxes;
    platform::testing::FailFileWrite(platform::testing::FileWriteStep::Rename);
    ASSERT_TRUE(form.close());
    EXPECT_EQ(config_.read(), before);
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_EQ(boxes.texts()[0].toStdString(), "The settings could not be saved to " +
                                                  config_.hive().string() +
                                                  ": it could not be renamed over the old one "
                                                  "(Input/output error).");
}

}  // namespace
