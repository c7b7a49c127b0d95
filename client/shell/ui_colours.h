#pragma once

#include <QColor>

namespace velkor::client {

// Background of the client's dialogs and panels.
inline const QColor kPanelColour{227, 225, 218};

}  // namespace velkor::client
