// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit1.h"

#include "CaptionSpacingStyle.h"
#include "ComboBoxes.h"
#include "ExceptionDisplay.h"
#include "LearnToggles.h"
#include "PageKeys.h"
#include "PortProblem.h"
#include "PostedMessagePump.h"
#include "Text.h"
#include "converter/ControllerNames.h"
#include "converter/NoteName.h"
#include "converter/ParameterMessage.h"
#include "platform/midi_system.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFont>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMessageBox>
#include <QRadioButton>
#include <QShortcut>
#include <QTimer>

#include <cstdint>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr const char* kStoredPortName = "Creative Sound Blaster MPU-401";
constexpr const char* kNoInputPort =
    "There is no MIDI input port. The converter is set through the output alone; learning "
    "from a keyboard needs an input";
constexpr const char* kNoOutputPort =
    "There is no MIDI output port, so no change reaches the converter. Connect the "
    "converter's MIDI interface and switch it on; its port can then be picked as \"Out\" on "
    "the MIDI page";

// Sets the cursor to the hourglass for as long as it lives.
class HourglassCursor {
  public:
    explicit HourglassCursor(QWidget& window) : window_(window) {
        window_.setCursor(Qt::WaitCursor);
    }
    ~HourglassCursor() { window_.setCursor(Qt::ArrowCursor); }
    HourglassCursor(const HourglassCursor&) = delete;
    HourglassCursor& operator=(const HourglassCursor&) = delete;

  private:
    QWidget& window_;
};

constexpr UINT kPortsChanged = WM_USER + 1;

}  // namespace

TForm1::TForm1(QWidget* parent)
    : QWidget(parent),
      sendProblems_(
          [this] { return cmbOutput->chosen().name; },
          [this](const std::string& text) { ShowMessage(QMessageBox::Warning, text, this); }),
      portWatch_([this](HWND, UINT message, WPARAM, LPARAM) {
          if (message == kPortsChanged)
              Guarded([this] { RelistMidiDevices(); });
          return LRESULT{0};
      }) {
    // Where "MS Sans Serif" is not installed (it is on Windows), a font of close metrics
    // stands in, so that every caption fits its box as on Windows.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    NameCombosByTheirLabels();
    setupUi(this);
    learning_ = new LearnToggles({LearnChannel, LearnNoteRef}, LearnController, LabelLearning);
    // A child made after the controls, so that it is destroyed after them.
    auto* captionStyle = new CaptionSpacingStyle;
    captionStyle->setParent(this);
    for (QAbstractButton* button : findChildren<QAbstractButton*>()) {
        if (qobject_cast<QRadioButton*>(button) || qobject_cast<QCheckBox*>(button))
            button->setStyle(captionStyle);
    }
    RequireFocusForWheel(*this);
    AddPageKeys(*PageControl1);
    cmbInput->setNoPortHint(ToQString(ExceptionText(kNoInputPort)));
    setFixedSize(size());
    move(DefaultPosition);
    // The note panels are drawn in the system's window-text colour. Each pot's panel is sunk
    // without a grey edge above and to the left, so that nothing next to a pot's focus frame
    // is as light as the frame.
    for (QFrame* notePanel : {Panel2, PanelTestNote}) {
        QPalette panel = notePanel->palette();
        panel.setColor(QPalette::Window, palette().color(QPalette::WindowText));
        notePanel->setPalette(panel);
    }
    for (QFrame* pot : {Panel1, Panel2, Panel11, PanelTestNote}) {
        QPalette sunk = pot->palette();
        sunk.setColor(QPalette::Dark, sunk.color(QPalette::Window));
        pot->setPalette(sunk);
    }
    // NoteRef and the test note are shown by their note names, whatever sets them.
    for (Tvxpotlab* pot : {potnote, potTestNote})
        pot->setValueText([](std::int32_t note) { return ToQString(NoteName(note, 0, true)); });

    // Before the components are made, since they list the ports of the system in use.
    LoadMidiSystem();
    fillSystemList();
    // The components' stored properties, applied as a stored form applies them: the stored
    // port name is dropped while loading; the ports are chosen once they are listed.
    components_.SetLoading(true);
    MidiOutput1 = &components_.Create<TMidiOutput>();
    MidiInput1 = &components_.Create<TMidiInput>();
    converter_ = std::make_unique<PacedSender>(*MidiOutput1);
    // A waiting message that fails when its time comes is said as any failed send.
    converter_->setOnFailure([this](std::exception_ptr failure) { sendProblems_.failed(failure); });
    MidiOutput1->SetProductName(kStoredPortName);
    MidiInput1->SetProductName(kStoredPortName);
    MidiInput1->SetSysexBufferSize(4096);
    components_.SetLoading(false);
    // The input is read whenever events wait, so that its queue never fills; what arrives is
    // used only while a learn toggle is on.
    MidiInput1->OnMidiInput = [this](TObject*) { Guarded([this] { readMidiInput(); }); };

    // A message that the port took and then could not send is said as any failed send.
    InstallPostedMessagePump([this](const std::exception_ptr& failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const EmidioutputError&) {
            sendProblems_.failed(failure);
        } catch (...) {
            ShowException(failure);
        }
    });
    setupFiles_ = new SetupFileActions(
        *this, *ButtonOpenSetup, *ButtonSaveSetup, [this] { return CurrentSetup(); },
        [this](const ConverterSetup& setup) { OpenSetup(setup); });
    connectHandlers();
    HoldMessages();
    Guarded([this] { FormCreate(); });
    platform::WatchMidiPorts(portWatch_.handle(), kPortsChanged);
}

TForm1::~TForm1() {
    if (!shown_)
        PrintHeldMessages();
    platform::WatchMidiPorts(nullptr, 0);
    InstallPostedMessagePump();
}

void TForm1::connectHandlers() {
    potnote->OnChange = [this](QObject* sender) { Guarded([&] { potnoteChange(sender); }); };
    vxpotlab1->OnChange = [this](QObject* sender) { Guarded([&] { vxpotlab1Change(sender); }); };
    // A combo reports the user's picks only; selections made from code stay silent.
    connect(ComboBox3, &QComboBox::activated, this,
            [this] { Guarded([&] { ComboBox3Change(ComboBox3); }); });
    connect(cmbInput, &QComboBox::activated, this,
            [this] { Guarded([&] { cmbInputChange(cmbInput); }); });
    connect(cmbOutput, &QComboBox::activated, this,
            [this] { Guarded([&] { cmbOutputChange(cmbOutput); }); });
    // The lists are read anew whenever the user opens one.
    for (TPortCombo* combo : {cmbInput, cmbOutput})
        connect(combo, &TPortCombo::popupAboutToShow, this,
                [this] { Guarded([this] { RelistMidiDevices(); }); });
    connect(cmbSystem, &QComboBox::activated, this,
            [this] { Guarded([&] { cmbSystemChange(cmbSystem); }); });
    connectAboutPage();
    connectLights();
    connectTestNote();
    connect(ButtonSendAll, &QPushButton::clicked, this, [this] { Guarded([this] { SendAll(); }); });
    auto* sendAll = new QShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+S")), this);
    connect(sendAll, &QShortcut::activated, this, [this] { Guarded([this] { SendAll(); }); });
    // A radio reports becoming selected, by the user or from code, and nothing else.
    for (QRadioButton* radio : {RadioOct, RadioTable, RadioVelo, RadioCtrl}) {
        connect(radio, &QRadioButton::toggled, this, [this, radio](bool checked) {
            if (checked)
                Guarded([&] { RadioOctClick(radio); });
        });
    }
}

void TForm1::FormCreate() {
    ListMidiDevices();
    FillControllerList();
    LoadSettings();
    OpenMidiDevices();
}

bool TForm1::FormClose() {
    SaveSettings();
    CloseMidiDevices();
    return true;
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!std::exchange(shown_, true))
        QTimer::singleShot(0, this, [this] { ShowHeldMessages(this); });
}

void TForm1::closeEvent(QCloseEvent* event) {
    bool canClose = false;
    Guarded([&] { canClose = FormClose(); });
    // A port that refused to close keeps the window open; the error has been shown.
    if (canClose)
        event->accept();
    else
        event->ignore();
}

void TForm1::ListMidiDevices() {
    cmbInput->choose({});
    cmbOutput->choose({});
    const auto lists = readPorts();
    if (!lists)
        return;
    cmbInput->fill(lists->inputs, TPortCombo::kNoInput);
    cmbOutput->fill(lists->outputs, TPortCombo::kNoOutput);
    if (!lists->inputs.empty())
        cmbInput->setCurrentIndex(0);
    if (!lists->outputs.empty())
        cmbOutput->setCurrentIndex(0);
}

void TForm1::RelistMidiDevices() {
    if (fillPortCombos(cmbInput->chosen(), cmbOutput->chosen()))
        ReopenMidiDevices();
}

std::optional<TForm1::PortLists> TForm1::readPorts() {
    try {
        return PortLists{ListPorts(false), ListPorts(true)};
    } catch (const std::exception&) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("No MIDI !!!"),
                        QStringLiteral("Error MIDI devices detection "), QMessageBox::Ok, this);
        box.exec();
        return std::nullopt;
    }
}

bool TForm1::fillPortCombos(const ChosenPort& input, const ChosenPort& output) {
    const auto lists = readPorts();
    if (!lists)
        return false;
    const bool inputWasMissing = !cmbInput->missing().empty();
    const bool outputWasMissing = !cmbOutput->missing().empty();
    cmbInput->fill(lists->inputs, TPortCombo::kNoInput);
    cmbOutput->fill(lists->outputs, TPortCombo::kNoOutput);
    cmbInput->choose(input);
    cmbOutput->choose(output);
    return (inputWasMissing && cmbInput->missing().empty() && !input.empty()) ||
           (outputWasMissing && cmbOutput->missing().empty() && !output.empty());
}

void TForm1::fillSystemList() {
    const auto systems = platform::MidiSystems();
    LabelSystem->setVisible(!systems.empty());
    cmbSystem->setVisible(!systems.empty());
    cmbSystem->clear();
    for (const auto& system : systems) {
        cmbSystem->addItem(ToQString(system.label), ToQString(system.id));
        if (system.id == platform::CurrentMidiSystem())
            cmbSystem->setCurrentIndex(cmbSystem->count() - 1);
    }
    const bool fixed = platform::MidiSystemFromEnvironment();
    cmbSystem->setEnabled(!fixed);
    cmbSystem->setToolTip(fixed ? QStringLiteral("Chosen by RDN417_MIDI_BACKEND") : QString());
    fillAbout();
}

void TForm1::OpenMidiDevices() {
    // The input is opened first; a failure there must not keep the output closed, since
    // the converter is configured through the output alone.
    std::exception_ptr inputError;
    try {
        // With no input port at all there is nothing to open: normal for a rig that only
        // sets the converter, so the In list's hint says it rather than a box.
        if (!cmbInput->holdsNoPort() || !cmbInput->missing().empty()) {
            OpenPort(PortKind::Input, cmbInput->chosen().name, [this] {
                MidiInput1->SetProductName(cmbInput->selectedPort());
                MidiInput1->Open();
                MidiInput1->Start();
            });
        }
    } catch (...) {
        inputError = std::current_exception();
    }
    learning_->setInput(MidiInput1->State() == psOpen ? cmbInput->currentText() : QString());
    try {
        if (cmbOutput->holdsNoPort() && cmbOutput->missing().empty()) {
            const std::string trouble = platform::MidiSystemTrouble();
            throw std::runtime_error(trouble.empty() ? std::string(kNoOutputPort)
                                                     : trouble + "\n\n" + kNoOutputPort);
        }
        OpenPort(PortKind::Output, cmbOutput->chosen().name, [this] {
            MidiOutput1->SetProductName(cmbOutput->selectedPort());
            // A refused open is said with the platform's reason, as the command line says it.
            if (!converter_->open())
                throw std::runtime_error(MidiOutput1->ErrorText(MidiOutput1->LastResult()));
        });
    } catch (...) {
        ShowException(inputError);
        throw;
    }
    // A converter that was switched on or plugged in since keeps values the window does not
    // show: on request they are all sent as soon as the output is open.
    if (CheckSendAllOnOpen->isChecked() && MidiOutput1->State() == psOpen) {
        try {
            SendAll();
        } catch (...) {
            ShowException(inputError);
            throw;
        }
    }
    if (inputError)
        std::rethrow_exception(inputError);
}

void TForm1::CloseMidiDevices() {
    MidiInput1->Close();
    learning_->setInput({});
    // No note is left sounding on a port the window lets go of.
    EndTestNote();
    converter_->close();
}

void TForm1::ReopenMidiDevices() {
    HourglassCursor hourglass(*this);
    CloseMidiDevices();
    OpenMidiDevices();
}

void TForm1::SendParameter(int channel, int code, int value) {
    if (!CheckBox38->isChecked() || loadingSettings_)
        return;
    sendProblems_.beginSingle();
    send(ParameterMessage(channel, code, value));
}

void TForm1::SendControlChange(int channel, int controller, int value) {
    const ShortMessage message = ControlChangeMessage(channel, controller, value);
    sendProblems_.beginSingle();
    send(std::array{message.status, message.data1, message.data2});
}

void TForm1::send(std::span<const std::uint8_t> message) {
    try {
        converter_->send(message);
    } catch (...) {
        sendProblems_.failed(std::current_exception());
    }
}

void TForm1::SendModeFlags() {
    int flags = 0;
    if (RadioTable->isChecked())
        flags += kModeFlagTable;
    if (RadioCtrl->isChecked())
        flags += kModeFlagController;
    SendParameter(channel(), pcModeFlags, flags);
}

void TForm1::readMidiInput() {
    while (const auto event = MidiInput1->GetMidiEvent()) {
        LightIn->flash();
        if (!event->isSysex)
            learnFrom(event->message);
    }
}

void TForm1::learnFrom(DWORD message) {
    const DWORD status = message & 0xF0;
    const int channel = static_cast<int>(message & 0x0F);
    const int data1 = static_cast<int>((message >> 8) & 0x7F);
    const int data2 = static_cast<int>((message >> 16) & 0x7F);
    // A Note On of velocity 0 is a Note Off.
    const bool noteOn = status == 0x90 && data2 > 0;
    // The channel first, so that a NoteRef learned from the same note goes on that channel.
    if (noteOn && LearnChannel->isChecked()) {
        LearnChannel->setChecked(false);
        potcanal->setState(channel + 1);
        updateTestNote();
    }
    if (noteOn && LearnNoteRef->isChecked()) {
        LearnNoteRef->setChecked(false);
        potnote->setState(data1);
        potnoteChange(potnote);
    }
    if (status == 0xB0 && LearnController->isChecked()) {
        LearnController->setChecked(false);
        ComboBox3->setCurrentIndex(data1 + 1);
        ComboBox3Change(ComboBox3);
        // A learned controller drives the aux output only as its source.
        RadioCtrl->setChecked(true);
    }
}

void TForm1::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape || !learning_->armed()) {
        QWidget::keyPressEvent(event);
        return;
    }
    learning_->disarm();
}

void TForm1::FillControllerList() {
    ComboBox3->clear();
    for (int i = 0; i < static_cast<int>(ControllerNames.size()); ++i)
        ComboBox3->addItem(ToQString(ControllerItemText(i)));
    ComboBox3->setCurrentIndex(0);
    FitListToItems(*ComboBox3, 32);
}

void TForm1::potnoteChange(QObject*) {
    SendParameter(channel(), pcNoteRef, potnote->State());
    // The test note starts where the pitch CV does.
    setTestNote(potnote->State());
}

void TForm1::ComboBox3Change(QObject*) {
    const int index = ComboBox3->currentIndex();
    if (index > 0)
        SendParameter(channel(), pcAuxController, index - 1);
}

void TForm1::RadioOctClick(QObject*) {
    SendModeFlags();
}

void TForm1::cmbInputChange(QObject*) {
    cmbInput->choose(cmbInput->selected());
    ReopenMidiDevices();
}

void TForm1::cmbOutputChange(QObject*) {
    cmbOutput->choose(cmbOutput->selected());
    ReopenMidiDevices();
}

void TForm1::cmbSystemChange(QObject*) {
    const std::string id = FromQString(cmbSystem->currentData().toString());
    if (id == platform::CurrentMidiSystem())
        return;
    HourglassCursor hourglass(*this);
    const ChosenPort input = cmbInput->chosen();
    const ChosenPort output = cmbOutput->chosen();
    CloseMidiDevices();
    platform::SelectMidiSystem(id);
    fillSystemList();
    fillPortCombos(input, output);
    OpenMidiDevices();
}

void TForm1::vxpotlab1Change(QObject*) {
    const int index = ComboBox3->currentIndex();
    if (index > 0)
        SendControlChange(channel(), index - 1, vxpotlab1->State());
}
