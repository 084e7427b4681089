// SPDX-License-Identifier: GPL-3.0-or-later
// Setups as .syx files in the window: saved, opened (by the buttons' path, a drop, or at start)
// and sent as Send all sends; a bad file is said and changes nothing.
#include "session/SetupFiles.h"
#include "window_fixture.h"

#include <QDropEvent>
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
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_EQ(boxes.texts().front().toStdString(),
              bad.string() +
                  ": This is not a System Exclusive (.syx) file: it starts with 0x90 "
                  "instead of 0xF0.");
    EXPECT_EQ(form.potnote->State(), 12);
    EXPECT_EQ(received().size(), before);
    drop(good);
    EXPECT_EQ(form.potnote->State(), 70);
    EXPECT_EQ(received().back(), Parameter(0, 126, 70));
}

}  // namespace
