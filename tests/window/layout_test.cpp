// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>

namespace {

struct Placed {
    const char* name;
    const char* parent;
    QRect geometry;  // a width of -1: only the place is fixed (auto-sized labels)
    const char* text;
    const char* hint;
};

const Placed kControls[] = {
    {"GroupBox19", "TabSheet1", {0, 0, 233, 85}, "Pitch CV", ""},
    {"Label27", "GroupBox19", {12, 28, -1, -1}, "Channel", ""},
    {"Label6", "GroupBox19", {12, 56, -1, -1}, "NoteRef", ""},
    {"Panel11", "GroupBox19", {60, 28, 37, 16}, "", ""},
    {"potcanal", "Panel11", {1, 1, 32, 13}, "1", "MIDI Channel"},
    {"Panel2", "GroupBox19", {60, 56, 37, 16}, "", ""},
    {"potnote", "Panel2", {5, 1, 28, 13}, "C -1", "Lowest MIDI Note"},
    {"RadioOct", "GroupBox19", {124, 24, 61, 17}, "1V/Oct", ""},
    {"RadioTable", "GroupBox19", {124, 52, 97, 17}, "48 Notes Table", ""},
    {"GroupBox7", "TabSheet1", {0, 88, 325, 85}, "Aux CV", ""},
    {"RadioVelo", "GroupBox7", {12, 26, 93, 17}, "Velocity", ""},
    {"RadioCtrl", "GroupBox7", {12, 50, 73, 17}, "Controler", ""},
    {"ComboBox3", "GroupBox7", {88, 48, 189, 21}, "----- none-------", "MIDI CC assigned to CV1"},
    {"Label1", "GroupBox7", {288, 34, -1, -1}, "Test", ""},
    {"Panel1", "GroupBox7", {288, 50, 27, 16}, "", ""},
    {"vxpotlab1", "Panel1", {1, 1, 25, 13}, "0", ""},
    {"GroupBox4", "TabSheet2", {1, 1, 324, 112}, "Devices", ""},
    {"Label9", "GroupBox4", {8, 23, -1, -1}, "In", ""},
    {"cmbInput", "GroupBox4", {36, 21, 281, 21}, "Virtual Loopback In", ""},
    {"Label2", "GroupBox4", {8, 47, -1, -1}, "Out", ""},
    {"cmbOutput", "GroupBox4", {36, 45, 281, 21}, "RDN417 Simulator", ""},
    {"CheckBox38", "GroupBox4", {16, 80, 201, 17}, "Send Parameters Real Time ", ""},
};

QString textOf(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    if (auto* box = qobject_cast<QGroupBox*>(widget))
        return box->title();
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        return combo->currentText();
    return {};
}

TEST_F(Window, EveryControlSitsWhereTheFormPutsIt) {
    TForm1& form = create();
    for (const Placed& placed : kControls) {
        SCOPED_TRACE(placed.name);
        auto* widget = form.findChild<QWidget*>(placed.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName(), placed.parent);
        if (placed.geometry.width() < 0)
            EXPECT_EQ(widget->pos(), placed.geometry.topLeft());
        else
            EXPECT_EQ(widget->geometry(), placed.geometry);
        EXPECT_EQ(textOf(widget), placed.text);
        EXPECT_EQ(widget->toolTip(), placed.hint);
    }
}

TEST_F(Window, TheWindowItsPagesAndItsGroups) {
    TForm1& form = create();
    EXPECT_EQ(form.windowTitle(), "RDN417 Config v2.8");
    EXPECT_EQ(form.size(), QSize(336, 202));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(form.pos(), QPoint(239, 202));
    EXPECT_EQ(form.PageControl1->geometry(), QRect(0, 0, 336, 202));
    ASSERT_EQ(form.PageControl1->count(), 4);
    EXPECT_EQ(form.PageControl1->tabText(0), "Config");
    EXPECT_EQ(form.PageControl1->tabText(1), "MIDI");
    EXPECT_EQ(form.PageControl1->tabText(2), "Table");
    EXPECT_EQ(form.PageControl1->tabText(3), "About...");
    EXPECT_EQ(form.PageControl1->currentIndex(), 0);
    EXPECT_EQ(form.GroupTestNote->parentWidget(), form.PageControl1->widget(2));
    // The About page: the program and its version, its licence, the settings and the system.
    const QString about = form.LabelAbout->text();
    for (const QString& part : {QStringLiteral("RDN417 Config 2.8"),
                                QStringLiteral("GNU General Public Licence, version 3 or later"),
                                QString::fromStdString(platform::SettingsLocation()),
                                QStringLiteral("MIDI system: Built-in simulator")})
        EXPECT_TRUE(about.contains(part)) << part.toStdString();
    EXPECT_EQ(form.ButtonAboutQt->text(), "About Qt");
    EXPECT_EQ(form.ButtonLicences->geometry(), QRect(89, 148, 75, 23));
    EXPECT_TRUE(form.RadioOct->isChecked());
    EXPECT_TRUE(form.RadioCtrl->isChecked());
    EXPECT_TRUE(form.CheckBox38->isChecked());
    EXPECT_EQ(form.ComboBox3->maxVisibleItems(), 32);
    // The two radio pairs are independent groups.
    QTest::mouseClick(form.RadioVelo, Qt::LeftButton);
    EXPECT_TRUE(form.RadioOct->isChecked());
    EXPECT_TRUE(form.RadioVelo->isChecked());
}

TEST_F(Window, WithoutMsSansSerifTheFontIsOneOfCloseMetrics) {
    TForm1& form = create();
    if (QFontDatabase::hasFamily(QStringLiteral("MS Sans Serif")))
        GTEST_SKIP() << "MS Sans Serif is installed";
    EXPECT_EQ(QFontInfo(form.RadioTable->font()).family(), "Liberation Sans");
}

// Every caption of the window fits its box with the font it gets; the test command runs
// this at scale factors 1 and 2.
TEST_F(Window, EveryCaptionFitsItsBox) {
    TForm1& form = create();
    int checked = 0;
    for (QWidget* widget : form.findChildren<QWidget*>()) {
        const bool button = qobject_cast<QRadioButton*>(widget) || qobject_cast<QCheckBox*>(widget);
        auto* label = qobject_cast<QLabel*>(widget);
        if (!button && !(label && !label->text().isEmpty() && !label->wordWrap() &&
                         label->textFormat() != Qt::RichText))
            continue;
        // A button's hint is its indicator, the spacing and its text in the style's metrics.
        const int needed = button ? widget->sizeHint().width()
                                  : label->fontMetrics().horizontalAdvance(label->text()) +
                                        2 * label->margin() + label->indent();
        const int room = button ? widget->width() : label->contentsRect().width();
        EXPECT_LE(needed, room) << widget->objectName().toStdString() << " \""
                                << textOf(widget).toStdString() << "\"";
        ++checked;
    }
    EXPECT_GE(checked, 15);
}

TEST_F(Window, ThePotsAreAquaOnBlackCentredAndSetAsTheFormSays) {
    TForm1& form = create();
    struct PotSettings {
        Tvxpotlab* pot;
        int state, min, max, range;
    };
    for (const auto& [pot, state, min, max, range] :
         {PotSettings{form.potcanal, 1, 1, 16, 32}, PotSettings{form.potnote, 12, 0, 127, 150},
          PotSettings{form.vxpotlab1, 0, 0, 127, 32}}) {
        SCOPED_TRACE(pot->objectName().toStdString());
        EXPECT_EQ(pot->State(), state);
        EXPECT_EQ(pot->Min(), min);
        EXPECT_EQ(pot->Max(), max);
        EXPECT_EQ(pot->CursorRange(), range);
        EXPECT_TRUE(pot->AlwayDetect());
        EXPECT_FALSE(pot->AutoSize());
        EXPECT_EQ(pot->palette().color(QPalette::WindowText), QColor(0, 255, 255));
        EXPECT_EQ(pot->Color(), QColor(0, 0, 0));
        EXPECT_EQ(pot->alignment(), Qt::AlignCenter);
    }
    for (QFrame* panel : {form.Panel11, form.Panel1}) {
        EXPECT_EQ(panel->palette().color(QPalette::Window), QColor(0, 0, 0));
        EXPECT_EQ(panel->frameShadow(), QFrame::Sunken);
    }
    EXPECT_EQ(form.Panel2->palette().color(QPalette::Window),
              form.palette().color(QPalette::WindowText));
}

}  // namespace

TEST_F(Window, LicencesShowTheGplAndTheThirdPartyNoticesAndCloseWithEscape) {
    TForm1& form = create();
    form.PageControl1->setCurrentIndex(3);
    QStringList pages;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* tabs = dialog->findChild<QTabWidget*>();
        ASSERT_NE(tabs, nullptr);
        for (int i = 0; i < tabs->count(); ++i)
            pages << qobject_cast<QPlainTextEdit*>(tabs->widget(i))->toPlainText();
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    QTest::mouseClick(form.ButtonLicences, Qt::LeftButton);
    ASSERT_EQ(pages.size(), 2);
    EXPECT_TRUE(
        pages[0].startsWith(QStringLiteral("                    GNU GENERAL PUBLIC LICENSE\n"
                                           "                       Version 3, 29 June 2007")));
    for (const char* notice : {"Qt 6", "LGPL-3.0-only", "RtMidi", "JACK", "GNU LESSER GENERAL"})
        EXPECT_TRUE(pages[1].contains(QLatin1String(notice))) << notice;
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}
