#include "tapi/qt/tapi_qt.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "tapi_host.h"

namespace velkor::tapi {

namespace {

void postToEventLoop(TAPITASKPROC task, void* context) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        task(context);  // no event loop left: deliver now rather than lose it
        return;
    }
    QMetaObject::invokeMethod(app, [task, context] { task(context); }, Qt::QueuedConnection);
}

}  // namespace

void installQtCallbackPoster() { tapiSetCallbackPoster(&postToEventLoop); }

}  // namespace velkor::tapi
