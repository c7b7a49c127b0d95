#include "client/shell/caldra_view.h"

#include <QPalette>

#include "client/resources/resource.h"
#include "client/shell/caldra_doc.h"
#include "client/shell/messages.h"
#include "client/shell/ui_colours.h"

namespace velkor::client {

CCaldraView::CCaldraView(CCaldraDoc* document, QWidget* parent)
    : QWidget(parent), m_document(document), m_messages(new CMessageMap(this)) {
    setObjectName(QString::number(IDD_CALDRA_FORM));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kPanelColour);
    setPalette(palette);
}

}  // namespace velkor::client
