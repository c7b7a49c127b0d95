#include "client/shell/caldra_doc.h"

#include "client/shell/text_catalogue.h"

namespace velkor::client {

CCaldraDoc::CCaldraDoc(QObject* parent) : QObject(parent), m_title(stationTitle(QStringLiteral("...."))) {
    setObjectName(QStringLiteral("CCaldraDoc"));
}

void CCaldraDoc::setTitle(const QString& title) {
    if (title == m_title) return;
    m_title = title;
    emit titleChanged(m_title);
}

QString CCaldraDoc::stationTitle(const QString& number) {
    const QString station = QString::fromStdString(catalogueText("#:name_text_station"));
    return QStringLiteral("(") + station + QStringLiteral(" ") + number + QStringLiteral(")");
}

}  // namespace velkor::client
