// Real MIDI peers that no one here wrote: the program's components and window against a JACK
// server of the tests' own, jack_midi_dump as the receiving device and a JACK client of the
// tests as the sending one.
#include "app/Unit1.h"
#include "child_process.h"
#include "jack_peer.h"
#include "jack_server.h"
#include "message_box_catcher.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "pump.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QTest>

#include <sstream>

namespace {

using Bytes = std::vector<std::uint8_t>;

JackServer* server = nullptr;

class Jack : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!server->unavailable().empty())
            GTEST_SKIP() << server->unavailable();
    }
};

// jack_midi_dump under a client name of the test's own; its input port then is
// "<name>:input".
class Dump {
  public:
    explicit Dump(const std::string& name)
        : name_(name), process_({"stdbuf", "-oL", "jack_midi_dump", name}) {}

    std::string port() const { return name_ + ":input"; }

    // Waits until the port is in the output list.
    bool listed() {
        return PumpUntil([&] {
            for (UINT i = 0; i < midiOutGetNumDevs(); ++i) {
                MIDIOUTCAPSA caps{};
                if (midiOutGetDevCapsA(i, &caps, sizeof caps) == 0 && port() == caps.szPname)
                    return true;
            }
            return false;
        });
    }

    // The messages it printed, each as its bytes.
    std::vector<Bytes> messages() {
        std::vector<Bytes> all;
        std::istringstream lines(process_.output());
        std::string line;
        while (std::getline(lines, line)) {
            const auto colon = line.find(':');
            if (colon == std::string::npos)
                continue;
            std::istringstream words(line.substr(colon + 1));
            Bytes bytes;
            std::string word;
            while (words >> word && word.size() == 2 && std::isxdigit(word[0]) &&
                   std::isxdigit(word[1]))
                bytes.push_back(static_cast<std::uint8_t>(std::stoi(word, nullptr, 16)));
            if (!bytes.empty())
                all.push_back(bytes);
        }
        return all;
    }

    bool waitFor(std::size_t count) {
        return PumpUntil([&] { return messages().size() >= count; });
    }

  private:
    std::string name_;
    ChildProcess process_;
};

TEST_F(Jack, TheOutputComponentReachesJackMidiDump) {
    Dump dump("rdn417-dump-out");
    ASSERT_TRUE(dump.listed());
    TMidiOutput out(nullptr);
    out.SetProductName(dump.port());
    ASSERT_TRUE(out.Open());
    int finished = 0;
    out.Onmidioutput = [&](TObject*) { ++finished; };
    const Bytes noteRef{0xF0, 0x70, 0x0F, 0x7E, 0x0F, 0x07, 0xF7};
    const Bytes flags{0xF0, 0x70, 0x0F, 0x7C, 0x00, 0x06, 0xF7};
    out.SendLongMessage(noteRef.data(), 7);
    out.SendLongMessage(flags.data(), 7);
    out.SendShortMessage(0xBF, 7, 100);
    ASSERT_TRUE(PumpUntil([&] { return finished == 2; }));
    ASSERT_TRUE(dump.waitFor(3));
    EXPECT_EQ(dump.messages(), (std::vector<Bytes>{noteRef, flags, {0xBF, 0x07, 0x64}}));
    EXPECT_TRUE(out.Close());
}

TEST_F(Jack, AJackClientsMessagesReachTheInputComponent) {
    JackPeer peer("rdn417-peer-in");
    ASSERT_TRUE(peer.ok());
    TMidiInput in(nullptr);
    ASSERT_TRUE(PumpUntil([&] {
        try {
            in.SetProductName("rdn417-peer-in:out");
            return true;
        } catch (const EMidiInputError&) {
            return false;
        }
    }));
    in.Open();
    ASSERT_EQ(in.State(), psOpen);
    in.Start();
    const Bytes sysex{0xF0, 0x70, 0x01, 0x7D, 0x0A, 0x04, 0xF7};
    peer.send({0x90, 0x3C, 0x40});
    peer.send(sysex);
    peer.send({0xB1, 0x07, 0x64});
    std::vector<MidiInputEvent> events;
    ASSERT_TRUE(PumpUntil([&] {
        while (auto event = in.GetMidiEvent())
            events.push_back(*event);
        return events.size() >= 3;
    }));
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].message, 0x403C90u);
    EXPECT_TRUE(events[1].isSysex);
    EXPECT_EQ(events[1].sysex, sysex);
    EXPECT_EQ(events[2].message, 0x6407B1u);
    EXPECT_LE(events[0].timestamp, events[2].timestamp);
    EXPECT_LT(events[2].timestamp, 60'000u);
    in.Close();
}

TEST_F(Jack, ThePortListsFollowTheServer) {
    const UINT before = midiOutGetNumDevs();
    {
        Dump dump("rdn417-dump-plug");
        ASSERT_TRUE(dump.listed());
        EXPECT_EQ(midiOutGetNumDevs(), before + 1);
    }
    // The dump has gone: its port has too.
    EXPECT_TRUE(PumpUntil([&] { return midiOutGetNumDevs() == before; }));
}

TEST_F(Jack, APortThatGoesAwayWhileOpenFailsSendsButStillCloses) {
    auto dump = std::make_unique<Dump>("rdn417-dump-gone");
    ASSERT_TRUE(dump->listed());
    TMidiOutput out(nullptr);
    out.SetProductName(dump->port());
    ASSERT_TRUE(out.Open());
    dump.reset();
    ASSERT_TRUE(PumpUntil([&] {
        try {
            out.SendShortMessage(0xB0, 1, 2);
            return false;
        } catch (const EmidioutputError& error) {
            return error.Message() == out.ErrorText(MIDIERR_NODEVICE);
        }
    }));
    // A long message still completes and its header is freed.
    const Bytes message{0xF0, 0x70, 0x00, 0x7E, 0x00, 0x00, 0xF7};
    out.SendLongMessage(message.data(), 7);
    ASSERT_TRUE(PumpUntil([&] { return out.PendingLongMessages() == 0; }));
    EXPECT_TRUE(out.Close());
}

TEST_F(Jack, TheWindowListsOpensAndSendsToJackMidiDump) {
    Dump dump("rdn417-dump-window");
    ASSERT_TRUE(dump.listed());
    QApplication::setApplicationName("RDN417 Config");
    MessageBoxCatcher boxes;
    TForm1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    // No JACK client here sends MIDI, so there is no input port; the output opens all the same.
    EXPECT_EQ(form.cmbInput->itemText(0), "No MIDI Input Device");
    const int item = form.cmbOutput->findText(QString::fromStdString(dump.port()));
    ASSERT_GE(item, 0);
    form.PageControl1->setCurrentIndex(1);
    // The user's pick from the list.
    form.cmbOutput->setCurrentIndex(item);
    emit form.cmbOutput->activated(item);
    ASSERT_EQ(form.MidiOutput1->ProductName(), dump.port());
    ASSERT_EQ(form.MidiOutput1->State(), psOpen);
    form.PageControl1->setCurrentIndex(0);
    const QPoint at = form.potnote->rect().center();
    QTest::mousePress(form.potnote, Qt::LeftButton, {}, at);
    QTest::mouseMove(form.potnote, at - QPoint(0, 1));
    QTest::mouseRelease(form.potnote, Qt::LeftButton, {}, at - QPoint(0, 1));
    ASSERT_TRUE(dump.waitFor(2));
    EXPECT_EQ(dump.messages()[0], (Bytes{0xF0, 0x70, 0x00, 0x7E, 0x0C, 0x00, 0xF7}));
    EXPECT_TRUE(form.close());
    // Opening the missing input was refused each time, and said so.
    EXPECT_EQ(boxes.texts(), std::vector<QString>(2, "Invalid device ID."));
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("RDN417_MIDI_BACKEND", "jack", 1);
    // Settings of the test's own, not the user's.
    char settings[] = "/tmp/rdn417-jack-XXXXXX";
    if (mkdtemp(settings) != nullptr)
        setenv("XDG_CONFIG_HOME", settings, 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    JackServer jack;
    server = &jack;
    const int result = RUN_ALL_TESTS();
    server = nullptr;
    return result;
}
