// SPDX-License-Identifier: GPL-3.0-or-later
// The window's test note: it sounds while "Play" is held down or "Hold" is checked, on the
// channel and note the controls show; any change of either moves it at once, and the
// output's close ends it.
#include "Unit1.h"

#include "ExceptionDisplay.h"

#include <QSignalBlocker>

#include <optional>

void TForm1::connectTestNote() {
    potTestNote->OnChange = [this](QObject*) { Guarded([this] { testNoteChanged(); }); };
    potcanal->OnChange = [this](QObject*) { Guarded([this] { updateTestNote(); }); };
    connect(ButtonPlayNote, &QPushButton::pressed, this,
            [this] { Guarded([this] { updateTestNote(); }); });
    connect(ButtonPlayNote, &QPushButton::released, this,
            [this] { Guarded([this] { updateTestNote(); }); });
    connect(CheckHoldNote, &QCheckBox::toggled, this,
            [this] { Guarded([this] { updateTestNote(); }); });
    connect(ButtonOctaveDown, &QPushButton::clicked, this,
            [this] { Guarded([this] { setTestNote(potTestNote->State() - 12); }); });
    connect(ButtonOctaveUp, &QPushButton::clicked, this,
            [this] { Guarded([this] { setTestNote(potTestNote->State() + 12); }); });
    connect(ButtonPanic, &QPushButton::clicked, this, [this] { Guarded([this] { panic(); }); });
}

void TForm1::setTestNote(int note) {
    potTestNote->setState(note);
    testNoteChanged();
}

void TForm1::testNoteChanged() {
    const int note = potTestNote->State();
    ButtonOctaveDown->setEnabled(note >= 12);
    ButtonOctaveUp->setEnabled(note + 12 <= 127);
    updateTestNote();
}

void TForm1::updateTestNote() {
    const bool wanted = ButtonPlayNote->isDown() || CheckHoldNote->isChecked();
    sendProblems_.beginSingle();
    try {
        testNote_.sound(wanted ? std::optional(TestNote::Note{channel(), potTestNote->State()})
                               : std::nullopt);
    } catch (...) {
        sendProblems_.failed(std::current_exception());
    }
}

void TForm1::EndTestNote() {
    {
        const QSignalBlocker quiet(CheckHoldNote);
        CheckHoldNote->setChecked(false);
    }
    ButtonPlayNote->setDown(false);
    updateTestNote();
}

void TForm1::panic() {
    {
        const QSignalBlocker quiet(CheckHoldNote);
        CheckHoldNote->setChecked(false);
    }
    sendProblems_.beginAction();
    try {
        testNote_.panic({channel(), potTestNote->State()});
    } catch (...) {
        sendProblems_.failed(std::current_exception());
    }
}
