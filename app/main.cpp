// SPDX-License-Identifier: GPL-3.0-or-later
// RDN417 Config: configures the RDN417 MIDI-to-CV converter from one window, or from the
// command line without one.
#include "CommandLine.h"
#include "ExceptionDisplay.h"
#include "SessionEnd.h"
#include "Unit1.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (WantsCommandLine(arguments)) {
#ifdef _WIN32
        // A program without a console of its own prints into the one it was started from.
        if (AttachConsole(ATTACH_PARENT_PROCESS)) {
            std::freopen("CONOUT$", "w", stdout);
            std::freopen("CONOUT$", "w", stderr);
        }
#endif
        const int code = RunCommandLine(arguments, std::cout, std::cerr);
        std::cout.flush();
        return code;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("RDN417 Config"));
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/rdn417-config-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    try {
        TForm1 form;
        form.show();
        SessionEnd sessionEnd(form, [&form] { form.SaveSettings(); });
        // A setup file named on the command line (what Qt did not take for itself) opens now.
        const QStringList rest = QApplication::arguments();
        if (rest.size() > 1)
            form.OpenSetupFile(rest.at(1).toLocal8Bit().toStdString());
        return QApplication::exec();
    } catch (const std::exception& error) {
        // Only building the window can end up here: the program cannot go on without it.
        ShowException(error);
        return 1;
    }
}
