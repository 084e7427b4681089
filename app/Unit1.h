// The main window: lists the MIDI ports, opens the chosen ones, and turns every change of a
// parameter control into a message for the converter.
#pragma once

#include "midi/Component.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "ui_Unit1.h"

#include <QWidget>

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
    void OpenMidiDevices();
    void CloseMidiDevices();
    void ReopenMidiDevices();

    void SendParameter(int channel, int code, int value);
    void SendControlChange(int channel, int controller, int value);
    void SendModeFlags();
    void FillControllerList();

    void LoadSettings();
    void SaveSettings();

    void FormCreate();
    // True when the window may close.
    bool FormClose();
    void potnoteChange(QObject* sender);
    void ComboBox3Change(QObject* sender);
    void RadioOctClick(QObject* sender);
    void cmbInputChange(QObject* sender);
    void cmbOutputChange(QObject* sender);
    void vxpotlab1Change(QObject* sender);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void connectHandlers();
    // The channel of every message: the channel pot's value minus one.
    int channel() const { return potcanal->State() - 1; }

    // Owns the two MIDI components.
    TComponent components_;
    // While the stored settings are applied; the ports are closed then, so nothing is sent.
    bool loadingSettings_ = false;
};
