// SPDX-License-Identifier: GPL-3.0-or-later
// Setups as .syx files in the window: saved, opened (by the buttons' path, a drop, or at start)
// and sent as Send all sends; a bad file is said and changes nothing.
#include "session/SetupFiles.h"
#include "window_fixture.h"

#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

#include <fstream>

namespace {

using virtual_midi::Bytes;
using SetupFiles = Window;

TEST_F(SetupFiles, ASavedSetupOpensInAnotherWindowAndIsSentAsSendAllSendsIt) {
    const auto file = config_.folder() / "song.syx";
    std::filesystem::create_directories(config_.folder());
    {
        TForm1& first = create();
        first.potcanal->setState(4);
        first.potnote->setState(40);
        first.ComboBox3->setCurrentIndex(8);
        first.RadioTable->setChecked(true);
        first.RadioVelo->setChecked(true);
        ASSERT_EQ(first.CurrentSetup(), (ConverterSetup{3, 40, true, false, 7}));
        ASSERT_EQ(WriteSetupFile(file.string(), first.CurrentSetup()), "");
        form_.reset();
    }
    virtual_midi::Reset();
    TForm1& second = create();
    const std::size_t before = received().size();
    MessageBoxCatcher boxes;
    ASSERT_TRUE(second.OpenSetupFile(file.string()));
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(second.potcanal->State(), 4);
    EXPECT_EQ(second.potnote->State(), 40);
    EXPECT_EQ(second.potnote->text(), QStringLiteral("E 1"));
    EXPECT_EQ(second.ComboBox3->currentIndex(), 8);
    EXPECT_TRUE(second.RadioTable->isChecked());
    EXPECT_TRUE(second.RadioVelo->isChecked());
    const std::vector<Bytes> all = received();
    EXPECT_EQ(
        std::vector<Bytes>(all.begin() + static_cast<std::ptrdiff_t>(before), all.end()),
        (std::vector<Bytes>{Parameter(3, 124, 0x20), Parameter(3, 125, 7), Parameter(3, 126, 40)}));
}

TEST_F(SetupFiles, ADroppedFileOpensAndABadOneIsSaidAndChangesNothing) {
    TForm1& form = create();
    std::filesystem::create_directories(config_.folder());
    const auto bad = config_.folder() / "notes.syx";
    std::ofstream(bad, std::ios::binary) << "\x90\x40\x7F";
    const auto good = config_.folder() / "good.syx";
    ASSERT_EQ(WriteSetupFile(good.string(), ConverterSetup{0, 70, false, true, std::nullopt}), "");
    const auto drop = [&](const std::filesystem::path& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path.string()))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(&form, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(&form, &dropped);
    };
    const std::size_t before = received().size();
    MessageBoxCatcher boxes;
    drop(bad);
    // The drop has returned before anything is said.
    EXPECT_TRUE(boxes.boxes.empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.boxes.empty(); }, 10000));
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_EQ(boxes.texts().front().toStdString(),
              bad.string() +
                  ": This is not a System Exclusive (.syx) file: it starts with 0x90 "
                  "instead of 0xF0.");
    EXPECT_EQ(form.potnote->State(), 12);
    EXPECT_EQ(received().size(), before);
    drop(good);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.potnote->State() == 70; }, 10000));
    EXPECT_EQ(form.potnote->text(), QStringLiteral("A#3"));
    EXPECT_EQ(received().back(), Parameter(0, 126, 70));
}

// "song" typed in the save dialog, in a folder whose name has a dot, over an existing song.syx:
// the question is asked of song.syx, and only a yes replaces it.
TEST_F(SetupFiles, SavingByANameWithoutExtensionAsksBeforeReplacingTheFileWithIt) {
    TForm1& form = create();
    const auto folder = config_.folder() / "john.doe";
    std::filesystem::create_directories(folder);
    const auto file = folder / "song.syx";
    ASSERT_EQ(WriteSetupFile(file.string(), ConverterSetup{0, 70, false, true, std::nullopt}), "");
    form.potnote->setState(40);
    std::vector<QString> questions;
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        QTimer script;
        script.setInterval(5);
        QObject::connect(&script, &QTimer::timeout, [&, answer] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                questions.push_back(box->text());
                box->button(answer)->click();
            } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                if (dialog->property("typed").toBool()) {
                    dialog->reject();
                    return;
                }
                dialog->setProperty("typed", true);
                dialog->setDirectory(QString::fromStdString(folder.string()));
                auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                ASSERT_NE(name, nullptr);
                // Typed outside this timer's slot: the question that it raises is a modal
                // loop in which the timer must fire again.
                QTimer::singleShot(0, name, [name] {
                    QTest::keyClicks(name, QStringLiteral("song"));
                    QTest::keyClick(name, Qt::Key_Return);
                });
            }
        });
        script.start();
        QTest::mouseClick(form.ButtonSaveSetup, Qt::LeftButton);
        ASSERT_EQ(questions.size(), answer == QMessageBox::No ? 1u : 2u);
        EXPECT_TRUE(questions.back().contains(QStringLiteral("song.syx")))
            << questions.back().toStdString();
        const SetupFileContents saved = ReadSetupFile(file.string(), {});
        EXPECT_EQ(saved.setup.noteRef, answer == QMessageBox::No ? 70 : 40);
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "song"));
}

}  // namespace
