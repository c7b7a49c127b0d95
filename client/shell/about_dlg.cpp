#include "client/shell/about_dlg.h"

#include <QLabel>
#include <QPalette>
#include <QPushButton>

#include "client/resources/images.h"
#include "client/resources/resource.h"
#include "client/shell/modal.h"
#include "client/shell/settings.h"
#include "client/shell/text_catalogue.h"
#include "client/shell/ui_colours.h"

namespace velkor::client {

namespace {

QLabel* staticText(QWidget* parent, int id, QRect place) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::number(id));
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(place);
    // Drawn straight on the dialog's background.
    label->setAutoFillBackground(false);
    label->setAttribute(Qt::WA_TranslucentBackground);
    return label;
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent),
      m_icon(new QLabel(this)),
      m_model(staticText(this, IDC_ABOUT_MODEL, {60, 14, 350, 18})),
      m_copyright(staticText(this, IDC_ABOUT_COPYRIGHT, {60, 38, 350, 18})),
      m_company(staticText(this, IDC_ABOUT_COMPANY, {60, 62, 350, 18})),
      m_ok(new QPushButton(this)) {
    setObjectName(QString::number(IDD_ABOUTBOX));
    setFixedSize(420, 130);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kPanelColour);
    palette.setColor(QPalette::WindowText, Qt::black);
    setPalette(palette);

    m_icon->setObjectName(QString::number(IDC_ABOUT_ICON));
    m_icon->setPixmap(loadIconPixmap(IDI_MAINFRAME, 32));
    m_icon->setGeometry(14, 14, 32, 32);

    m_ok->setObjectName(QString::number(IDOK));
    m_ok->setGeometry(340, 96, 66, 22);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
}

void CAboutDlg::applyTexts() {
    CTextCatalogue catalogue;
    setWindowTitle(QString::fromStdString(catalogue.lookup("#:menu_help_about")));
    m_ok->setText(QString::fromStdString(catalogue.lookup("#:button_ok")));
    m_model->setText(QString::fromStdString(catalogue.lookup("#:this_model_is_xxx") + g_strVersion));
    m_copyright->setText(QString::fromStdString(catalogue.lookup("#:about_copyright")));
    m_company->setText(QString::fromStdString(catalogue.lookup("#:about_company")));
}

int CAboutDlg::doModal() {
    applyTexts();
    return runModal(*this);
}

}  // namespace velkor::client
