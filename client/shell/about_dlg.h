#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace velkor::client {

// The About box: what the program is, its version and its maker.
class CAboutDlg : public QDialog {
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // Sets the texts from the catalogue and shows the box modally.
    int doModal();

private:
    void applyTexts();

    QLabel* m_icon;
    QLabel* m_model;
    QLabel* m_copyright;
    QLabel* m_company;
    QPushButton* m_ok;
};

}  // namespace velkor::client
