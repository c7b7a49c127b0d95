#include "client/shell/modal.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>

namespace velkor::client {

namespace {

ModalAnswerer& answerer() {
    static ModalAnswerer instance;
    return instance;
}

}  // namespace

void setModalAnswerer(ModalAnswerer value) {
    answerer() = std::move(value);
}

int runModal(QDialog& dialog) {
    if (answerer()) {
        QPointer<QDialog> guard(&dialog);
        QTimer::singleShot(0, &dialog, [guard] {
            if (!guard) return;
            const int answer = answerer()(*guard);
            if (guard) guard->done(answer);
        });
    }
    return dialog.exec();
}

}  // namespace velkor::client
