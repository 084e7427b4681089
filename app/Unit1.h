// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: lists the MIDI ports, opens the chosen ones, and turns every change of a
// parameter control into a message for the converter.
#pragma once

#include "LearnToggles.h"
#include "PortCombo.h"
#include "SendProblems.h"
#include "SetupFileActions.h"
#include "converter/ConverterSetup.h"
#include "midi/Component.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "platform/win32.h"
#include "session/PacedSender.h"
#include "session/TestNote.h"
#include "ui_Unit1.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class TForm1 : public QWidget, public Ui::TForm1 {
    Q_OBJECT

  public:
    // Builds the window from its form and runs FormCreate; failures there are shown and the
    // window is still usable.
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Where the window opens when no position is stored.
    static constexpr QPoint DefaultPosition{239, 202};

    TMidiOutput* MidiOutput1 = nullptr;
    TMidiInput* MidiInput1 = nullptr;

    void ListMidiDevices();
    // Reads the port lists anew, keeping each combo's choice by name. A chosen port that is
    // not listed leaves its combo without a selection, which names the missing port; when it
    // is listed again it is opened again.
    void RelistMidiDevices();
    void OpenMidiDevices();
    void CloseMidiDevices();
    void ReopenMidiDevices();

    void SendParameter(int channel, int code, int value);
    void SendControlChange(int channel, int controller, int value);
    void SendModeFlags();
    // Every parameter the converter keeps, as the controls show them: the mode flags, the
    // aux controller (when one is chosen) and NoteRef.
    void SendAll();
    // The setup as the controls show it.
    ConverterSetup CurrentSetup() const;
    // Shows a setup in the controls and sends it as Send all does.
    void OpenSetup(const ConverterSetup& setup);
    // Opens a .syx file as the Open button does; false, after saying why, when it cannot.
    bool OpenSetupFile(const std::string& path) { return setupFiles_->openFile(path); }
    void FillControllerList();

    void LoadSettings();
    void SaveSettings();
    // Releases the test note's "Play" and "Hold", and the note with them.
    void EndTestNote();
    // The MIDI system chosen in an earlier run, unless the environment chooses.
    void LoadMidiSystem();

    void FormCreate();
    // True when the window may close.
    bool FormClose();
    void potnoteChange(QObject* sender);
    void ComboBox3Change(QObject* sender);
    void RadioOctClick(QObject* sender);
    void cmbInputChange(QObject* sender);
    void cmbOutputChange(QObject* sender);
    void vxpotlab1Change(QObject* sender);
    void cmbSystemChange(QObject* sender);

  protected:
    void closeEvent(QCloseEvent* event) override;
    // Escape ends learning from the MIDI input.
    void keyPressEvent(QKeyEvent* event) override;
    // The start-up problems are shown once the window is.
    void showEvent(QShowEvent* event) override;

  private:
    void connectHandlers();
    // Takes every event the input has queued; a learn toggle that is on takes its value from
    // the first event that carries one, and turns itself off.
    void readMidiInput();
    void learnFrom(DWORD message);
    void fillSystemList();
    // The About page: the program, what it does, its licence, where the settings live and
    // the MIDI system in use; its buttons show Qt's About box and the licences.
    void fillAbout();
    void connectAboutPage();
    // The MIDI page's activity lights: each message sent or received flashes one; the out
    // light's hint tells what the simulated converter holds.
    void connectLights();
    struct PortLists {
        PortList inputs;
        PortList outputs;
    };
    // Both lists; nothing, after saying so, when a port cannot be queried.
    std::optional<PortLists> readPorts();
    // Fills both combos, selecting the ports named; true when a missing one is back.
    bool fillPortCombos(const ChosenPort& input, const ChosenPort& output);
    // Sets the controls to the setup; nothing is sent.
    void showSetup(const ConverterSetup& setup);
    // Sends through the paced output; a failure is said by sendProblems_.
    void send(std::span<const std::uint8_t> message);
    // The test note's controls: the note pot, its octave steps, "Play", "Hold" and "Panic".
    void connectTestNote();
    // Shows `note` as the test note, and sounds it where the test note sounds.
    void setTestNote(int note);
    void testNoteChanged();
    // Sounds the note and channel shown while "Play" is down or "Hold" checked; else silence.
    void updateTestNote();
    void panic();
    // The channel of every message: the channel pot's value minus one.
    int channel() const { return potcanal->State() - 1; }

    // Owns the two MIDI components.
    TComponent components_;
    // Everything for the converter leaves through it, at its cable's pace.
    std::unique_ptr<PacedSender> converter_;
    TestNote testNote_{
        [this](std::span<const std::uint8_t> message) { converter_->send(message); }};
    SendProblems sendProblems_;
    LearnToggles* learning_;  // owned by its line
    bool shown_ = false;
    SetupFileActions* setupFiles_ = nullptr;
    // While stored settings or a setup are shown; nothing is sent then.
    bool loadingSettings_ = false;
    // Told by the platform when the port lists change.
    platform::MessageWindow portWatch_;
};
