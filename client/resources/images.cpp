#include "client/resources/images.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

// The pictures are compiled into the client's static library; nothing
// references them by symbol, so they are registered on first use.
static void registerImages() {
    static const bool done = [] {
        Q_INIT_RESOURCE(brisel);
        return true;
    }();
    (void)done;
}

namespace velkor::client {

namespace {

QPixmap render(const QString& path, QSize size) {
    registerImages();
    if (!QFile::exists(path)) return {};
    QSvgRenderer renderer(path);
    if (!renderer.isValid()) return {};
    if (!size.isValid()) size = renderer.defaultSize();
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

}  // namespace

QString iconPath(int id) {
    return QStringLiteral(":/icons/%1.svg").arg(id);
}

QString bitmapPath(int id) {
    return QStringLiteral(":/bitmaps/%1.svg").arg(id);
}

QIcon loadIcon(int id) {
    QIcon icon;
    for (int size : {16, 32, 48}) {
        const QPixmap pixmap = loadIconPixmap(id, size);
        if (pixmap.isNull()) return {};
        icon.addPixmap(pixmap);
    }
    return icon;
}

QPixmap loadIconPixmap(int id, int size) {
    return render(iconPath(id), QSize(size, size));
}

QPixmap loadBitmap(int id) {
    return render(bitmapPath(id), QSize());
}

}  // namespace velkor::client
