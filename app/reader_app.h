// The application: the Qt application object and the one modal run of the
// main dialog. The program ends when that run returns.
#pragma once

#include <QApplication>

class ReaderApp {
public:
    ReaderApp(int& argc, char** argv);

    // Runs the main dialog modally; returns 0 once it has been closed and
    // destroyed (and with it the link).
    int InitInstance();

private:
    QApplication m_app;
};
