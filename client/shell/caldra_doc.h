#pragma once

#include <QObject>
#include <QString>

namespace velkor::client {

// The client's one document. It holds no data of its own (the panes keep
// theirs); its title names the user's station and becomes part of the main
// window's title.
class CCaldraDoc : public QObject {
    Q_OBJECT

public:
    explicit CCaldraDoc(QObject* parent = nullptr);

    QString title() const { return m_title; }
    void setTitle(const QString& title);

    // "(" + station text + " " + number + ")": the title once the own
    // station is known, and with "...." as number until then.
    static QString stationTitle(const QString& number);

signals:
    void titleChanged(const QString& title);

private:
    QString m_title;
};

}  // namespace velkor::client
