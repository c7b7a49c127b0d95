#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace velkor::client {

// The client's pictures by resource number. A number without a picture
// gives a null icon or pixmap.
QIcon loadIcon(int id);
// An icon drawn at `size` pixels (image lists use 16 and 32).
QPixmap loadIconPixmap(int id, int size);
// A bitmap at the size it was drawn for.
QPixmap loadBitmap(int id);

QString iconPath(int id);
QString bitmapPath(int id);

}  // namespace velkor::client
