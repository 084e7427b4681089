#include "Unit1.h"

#include "ControllerNames.h"
#include "ExceptionDisplay.h"
#include "NoteName.h"
#include "ParameterMessage.h"
#include "PostedMessagePump.h"
#include "Text.h"

#include <QCloseEvent>
#include <QMessageBox>

#include <exception>

namespace {

constexpr const char* kStoredPortName = "Creative Sound Blaster MPU-401";

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

// Fills a port combo with each port's name, read by selecting the port in the component; a
// single unselected `none` item when there is no port.
template <typename Component>
void listPorts(QComboBox& combo, UINT count, Component& component, const char* none) {
    if (count == 0) {
        combo.addItem(QString::fromLatin1(none));
        combo.setCurrentIndex(-1);
        return;
    }
    for (UINT i = 0; i < count; ++i) {
        component.SetDeviceID(static_cast<decltype(component.DeviceID())>(i));
        combo.addItem(ToQString(component.ProductName()));
    }
    combo.setCurrentIndex(0);
}

std::string selectedText(const QComboBox& combo) {
    return combo.currentIndex() < 0 ? std::string() : FromQString(combo.currentText());
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    setFixedSize(size());
    move(DefaultPosition);
    // The NoteRef panel is drawn in the system's window-text colour.
    QPalette panel = Panel2->palette();
    panel.setColor(QPalette::Window, palette().color(QPalette::WindowText));
    Panel2->setPalette(panel);

    // The components' stored properties, applied as a stored form applies them: the stored
    // port name is dropped while loading; the ports are chosen once they are listed.
    components_.SetLoading(true);
    MidiOutput1 = &components_.Create<TMidiOutput>();
    MidiInput1 = &components_.Create<TMidiInput>();
    MidiOutput1->SetProductName(kStoredPortName);
    MidiInput1->SetProductName(kStoredPortName);
    MidiInput1->SetSysexBufferSize(4096);
    components_.SetLoading(false);

    InstallPostedMessagePump();
    connectHandlers();
    Guarded([this] { FormCreate(); });
}

TForm1::~TForm1() = default;

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
    try {
        cmbInput->clear();
        cmbOutput->clear();
        listPorts(*cmbInput, midiInGetNumDevs(), *MidiInput1, "No MIDI Input Device");
        listPorts(*cmbOutput, midiOutGetNumDevs(), *MidiOutput1, "No MIDI Output Device");
    } catch (const std::exception&) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("No MIDI !!!"),
                        QStringLiteral("Error MIDI devices detection "), QMessageBox::Ok, this);
        box.exec();
    }
}

void TForm1::OpenMidiDevices() {
    // The input is opened first; a failure there must not keep the output closed, since
    // the converter is configured through the output alone.
    std::exception_ptr inputError;
    try {
        MidiInput1->SetProductName(selectedText(*cmbInput));
        MidiInput1->Open();
        MidiInput1->Start();
    } catch (...) {
        inputError = std::current_exception();
    }
    try {
        MidiOutput1->SetProductName(selectedText(*cmbOutput));
        MidiOutput1->Open();
    } catch (...) {
        ShowException(inputError);
        throw;
    }
    if (inputError)
        std::rethrow_exception(inputError);
}

void TForm1::CloseMidiDevices() {
    MidiInput1->Close();
    MidiOutput1->Close();
}

void TForm1::ReopenMidiDevices() {
    HourglassCursor hourglass(*this);
    CloseMidiDevices();
    OpenMidiDevices();
}

void TForm1::SendParameter(int channel, int code, int value) {
    if (!CheckBox38->isChecked() || loadingSettings_)
        return;
    const ParameterMessageBytes message = ParameterMessage(channel, code, value);
    MidiOutput1->SendLongMessage(message.data(), static_cast<std::uint16_t>(message.size()));
}

void TForm1::SendControlChange(int channel, int controller, int value) {
    const ShortMessage message = ControlChangeMessage(channel, controller, value);
    MidiOutput1->SendShortMessage(message.status, message.data1, message.data2);
}

void TForm1::SendModeFlags() {
    int flags = 0;
    if (RadioTable->isChecked())
        flags += kModeFlagTable;
    if (RadioCtrl->isChecked())
        flags += kModeFlagController;
    SendParameter(channel(), pcModeFlags, flags);
}

void TForm1::FillControllerList() {
    ComboBox3->clear();
    for (int i = 0; i < static_cast<int>(ControllerNames.size()); ++i)
        ComboBox3->addItem(ToQString(ControllerItemText(i)));
    ComboBox3->setCurrentIndex(0);
}

void TForm1::potnoteChange(QObject*) {
    SendParameter(channel(), pcNoteRef, potnote->State());
    potnote->setText(ToQString(NoteName(potnote->State(), 0, true)));
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
    ReopenMidiDevices();
}

void TForm1::cmbOutputChange(QObject*) {
    ReopenMidiDevices();
}

void TForm1::vxpotlab1Change(QObject*) {
    const int index = ComboBox3->currentIndex();
    if (index > 0)
        SendControlChange(channel(), index - 1, vxpotlab1->State());
}
