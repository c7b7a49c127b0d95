#include "client/shell/alert_dlg.h"

#include <QApplication>
#include <QLabel>
#include <QPalette>
#include <QPushButton>

#include "client/resources/images.h"
#include "client/resources/resource.h"
#include "client/shell/modal.h"
#include "client/shell/text_catalogue.h"
#include "client/shell/ui_colours.h"

namespace velkor::client {

CAlertDlg::CAlertDlg(QString text, QWidget* parent)
    : QDialog(parent),
      m_text(std::move(text)),
      m_picture(new QLabel(this)),
      m_textLine(new QLabel(this)),
      m_ok(new QPushButton(this)) {
    setObjectName(QString::number(IDD_ALERT));
    setWindowTitle(QString::fromUtf8(kAppTitle));
    setFixedSize(400, 100);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kPanelColour);
    setPalette(palette);

    m_picture->setObjectName(QString::number(IDC_ALERT_PICTURE));
    m_picture->setPixmap(loadBitmap(IDB_ALERT));
    m_picture->setGeometry(190, 3, 20, 20);

    m_textLine->setObjectName(QString::number(IDC_ALERT_TEXT));
    m_textLine->setAlignment(Qt::AlignCenter);
    m_textLine->setGeometry(2, 25, 390, 20);
    // The text is shown as it stands, never as markup.
    m_textLine->setTextFormat(Qt::PlainText);

    m_ok->setObjectName(QString::number(IDOK));
    m_ok->setGeometry(165, 60, 66, 20);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
}

void CAlertDlg::applyTexts() {
    CTextCatalogue catalogue;
    m_ok->setText(QString::fromStdString(catalogue.lookup("#:button_ok")));
    m_textLine->setText(m_text);
}

int CAlertDlg::doModal() {
    QApplication::beep();
    applyTexts();
    setFixedSize(400, 100);
    return runModal(*this);
}

void showMessage(std::string_view key, QWidget* parent) {
    CTextCatalogue catalogue;
    showAlert(catalogue.lookup(key), parent);
}

void showAlert(const std::string& text, QWidget* parent) {
    CAlertDlg dialog(QString::fromStdString(text), parent);
    dialog.doModal();
}

}  // namespace velkor::client
