// brisel_instance_probe: the client's start-up and exit in a process of its
// own, for the test of two copies. Modal boxes are answered at once and
// their line is printed; "quit" on standard input closes the main window.

#include <cstdio>
#include <iostream>
#include <string>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QSocketNotifier>

#include <unistd.h>

#include "client/resources/resource.h"
#include "client/shell/caldra_app.h"
#include "client/shell/main_frame.h"
#include "client/shell/modal.h"

int main(int argc, char** argv) {
    using namespace velkor::client;
    QApplication application(argc, argv);
    setModalAnswerer([](QDialog& dialog) {
        auto* line = dialog.findChild<QLabel*>(QString::number(IDC_ALERT_TEXT));
        std::printf("ALERT:%s\n", line ? line->text().toStdString().c_str() : "");
        std::fflush(stdout);
        return IDOK;
    });

    CCaldraApp caldra;
    if (!caldra.initInstance(QApplication::arguments())) {
        std::printf("REFUSED\n");
        return 3;
    }
    std::printf("STARTED\n");
    std::fflush(stdout);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[64];
        const auto n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0 || std::string(buffer, static_cast<std::size_t>(n)).find("quit") != std::string::npos) {
            input.setEnabled(false);
            caldra.mainFrame()->close();
        }
    });
    const int result = QApplication::exec();
    const int saved = caldra.exitInstance();
    std::printf("SAVED\n");
    return result != 0 ? result : saved;
}
