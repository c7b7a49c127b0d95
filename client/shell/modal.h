#pragma once

#include <functional>

class QDialog;

namespace velkor::client {

// Runs a dialog modally. Tests install an answerer: it is called once the
// dialog is on screen (to look at it or save a picture of it) and returns the
// answer that closes it, so no test ever waits for a person.
using ModalAnswerer = std::function<int(QDialog&)>;
void setModalAnswerer(ModalAnswerer answerer);
int runModal(QDialog& dialog);

}  // namespace velkor::client
