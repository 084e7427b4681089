// SPDX-License-Identifier: GPL-3.0-or-later
#include "SetupFileActions.h"

#include "ExceptionDisplay.h"
#include "Text.h"
#include "session/SetupFiles.h"

#include <QAbstractButton>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QShortcut>
#include <QTimer>
#include <QUrl>

#include <utility>

namespace {

// What opens: .syx, Standard MIDI Files and hex text; what saves: .syx, or a MIDI file.
const QString kOpenFilter = QStringLiteral(
    "Setups (*.syx *.mid *.midi *.txt);;System Exclusive (*.syx);;Standard MIDI File (*.mid "
    "*.midi);;Hex text (*.txt);;All files (*)");
const QString kSysexFilter = QStringLiteral("System Exclusive (*.syx)");
const QString kMidiFilter = QStringLiteral("Standard MIDI File (*.mid)");

// The one local file a drag carries, or an empty string.
QString droppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1 ||
        !data->urls().front().isLocalFile())
        return {};
    return data->urls().front().toLocalFile();
}

}  // namespace

SetupFileActions::SetupFileActions(QWidget& window, QAbstractButton& openButton,
                                   QAbstractButton& saveButton,
                                   std::function<ConverterSetup()> current,
                                   std::function<void(const ConverterSetup&)> open)
    : QObject(&window), window_(window), current_(std::move(current)), open_(std::move(open)) {
    const auto askOpen = [this] {
        const QString path =
            QFileDialog::getOpenFileName(&window_, QStringLiteral("Open a setup"), {}, kOpenFilter);
        if (!path.isEmpty())
            openFile(FromQString(path));
    };
    const auto askSave = [this] {
        // The dialog adds the extension to a name that has none before it asks whether an
        // existing file may be replaced, so that the question is asked of the file written.
        QFileDialog dialog(&window_, QStringLiteral("Save the setup"), {},
                           kSysexFilter + QStringLiteral(";;") + kMidiFilter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("syx"));
        // A name without extension gets the one of the kind chosen.
        connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
            dialog.setDefaultSuffix(filter == kMidiFilter ? QStringLiteral("mid")
                                                          : QStringLiteral("syx"));
        });
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return;
        saveFile(FromQString(dialog.selectedFiles().front()));
    };
    connect(&openButton, &QAbstractButton::clicked, this, askOpen);
    connect(&saveButton, &QAbstractButton::clicked, this, askSave);
    connect(new QShortcut(QKeySequence::Open, &window_), &QShortcut::activated, this, askOpen);
    connect(new QShortcut(QKeySequence::Save, &window_), &QShortcut::activated, this, askSave);
    window_.setAcceptDrops(true);
    window_.installEventFilter(this);
}

bool SetupFileActions::openFile(const std::string& path) {
    const SetupFileContents contents = ReadSetupFile(path, current_());
    if (!contents.error.empty()) {
        ShowMessage(QMessageBox::Warning, contents.error, &window_);
        return false;
    }
    Guarded([&] { open_(contents.setup); });
    if (contents.skipped > 0)
        ShowMessage(QMessageBox::Information, SkippedMessagesNote(path, contents.skipped),
                    &window_);
    return true;
}

bool SetupFileActions::saveFile(const std::string& path) {
    const std::string error = WriteSetupFile(path, current_());
    if (!error.empty())
        ShowMessage(QMessageBox::Warning, error, &window_);
    return error.empty();
}

bool SetupFileActions::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &window_)
        return false;
    if (event->type() == QEvent::DragEnter) {
        auto* enter = static_cast<QDragEnterEvent*>(event);
        if (!droppedFile(enter->mimeData()).isEmpty())
            enter->acceptProposedAction();
        return true;
    }
    if (event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString path = droppedFile(drop->mimeData());
        if (!path.isEmpty()) {
            drop->acceptProposedAction();
            // The drag source waits until the drop returns: the file is opened, and any box
            // about it shown, once it has.
            QTimer::singleShot(0, this, [this, path] { openFile(FromQString(path)); });
        }
        return true;
    }
    return false;
}
