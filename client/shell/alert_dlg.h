#pragma once

#include <QDialog>
#include <QString>

#include <string>
#include <string_view>

class QLabel;
class QPushButton;

namespace velkor::client {

// The alert box: one line of text from the catalogue and OK. Every error and
// notice of the client reaches the user through it.
class CAlertDlg : public QDialog {
public:
    explicit CAlertDlg(QString text, QWidget* parent = nullptr);

    // Beeps, shows the box and waits for OK.
    int doModal();

    QString text() const { return m_text; }

private:
    void applyTexts();

    QString m_text;
    QLabel* m_picture;
    QLabel* m_textLine;
    QPushButton* m_ok;
};

// Shows the catalogue text of `key` (current language) in the alert box.
void showMessage(std::string_view key, QWidget* parent = nullptr);
// Shows a text already looked up.
void showAlert(const std::string& text, QWidget* parent = nullptr);

}  // namespace velkor::client
