#include <QApplication>
#include <QLabel>

#include "app/Tools.h"

// Placeholder until the window is built.
int RunDesktop(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel label("Sondrel");
    label.show();
    return app.exec();
}
