// brisel: the Caldra desktop client.

#include <QApplication>

#include "client/resources/resource.h"
#include "client/shell/caldra_app.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(velkor::client::kAppTitle));

    velkor::client::CCaldraApp caldra;
    if (!caldra.initInstance(QApplication::arguments())) return 0;
    const int result = QApplication::exec();
    const int saved = caldra.exitInstance();
    return result != 0 ? result : saved;
}
