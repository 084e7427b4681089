// RDN417 Config: configures the RDN417 MIDI-to-CV converter from one window.
#include "ExceptionDisplay.h"
#include "Unit1.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("RDN417 Config"));
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/rdn417-config-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    try {
        TForm1 form;
        form.show();
        return QApplication::exec();
    } catch (const std::exception& error) {
        // Only building the window can end up here: the program cannot go on without it.
        ShowException(error);
        return 1;
    }
}
