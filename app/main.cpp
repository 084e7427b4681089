// RDN417 Config: configures the RDN417 MIDI-to-CV converter from one window.
#include "ExceptionDisplay.h"
#include "Unit1.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("RDN417 Config"));
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
