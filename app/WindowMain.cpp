// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowMain.h"

#include "ExceptionDisplay.h"
#include "SessionEnd.h"
#include "Unit1.h"

#include <QApplication>
#include <QIcon>

int Rdn417RunWindow(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("RDN417 Config"));
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/rdn417-config-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    try {
        TForm1 form;
        form.show();
        // A session that ends takes the program with it: no note is left sounding.
        SessionEnd sessionEnd(form, [&form] {
            form.SaveSettings();
            form.EndTestNote();
        });
        // A setup file named on the command line (what Qt did not take for itself) opens now,
        // also after "--" where its name begins with "-".
        QStringList rest = QApplication::arguments();
        if (rest.size() > 2 && rest.at(1) == QStringLiteral("--"))
            rest.removeAt(1);
        if (rest.size() > 1)
            form.OpenSetupFile(rest.at(1).toLocal8Bit().toStdString());
        return QApplication::exec();
    } catch (const std::exception& error) {
        // Only building the window can end up here: the program cannot go on without it.
        ShowException(error);
        return 1;
    }
}
