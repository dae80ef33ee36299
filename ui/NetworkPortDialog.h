// The small dialog behind the COM port dialog's "Hálózati port…": a serial device server's
// address as a port name, `socket://HOST:PORT` (raw TCP) or `rfc2217://HOST:PORT` (a remote
// serial port whose line settings are set over the network).
#pragma once

#include <QDialog>
#include <QString>
#include <optional>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tarvelo {

class DialogService;

class NetworkPortDialog : public QDialog {
 public:
  // Shows `current` when it is a network address.
  NetworkPortDialog(DialogService& dialogs, const QString& current, QWidget* parent);

  // The port name made of the fields, or why they make none (a message as the user sees it).
  static QString MakePortName(const QString& host, const QString& tcpPort, bool rfc2217,
                              QString* refusal);
  // The port name accepted by OK.
  QString portName() const { return portName_; }

  // Asks; empty when cancelled.
  static QString Ask(DialogService& dialogs, const QString& current, QWidget* parent);

 protected:
  void done(int result) override;

 private:
  DialogService& dialogs_;
  QLineEdit* edHost;
  QLineEdit* edTcpPort;
  QComboBox* CmbKind;
  QPushButton* BtnOK;
  QPushButton* BtnCancel;
  QString portName_;
};

}  // namespace tarvelo
