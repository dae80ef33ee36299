// The COM port dialog: port (a serial port or a network address), speed, modem number and the
// terminal's line settings for the next time the port opens, and named connections kept in
// "tvconn.ini". It does not touch the port itself.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "files/Workstation.h"
#include "serial/Platform.h"

class QComboBox;
class QLabel;
class QLayout;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTimer;

namespace tarvelo {

class DialogService;
struct Session;

// What the COM port dialog reads from the window, and what it sets there when it closes.
class ComPortHost {
 public:
  virtual ~ComPortHost() = default;
  // The workstation's port and speed and the named connections' file.
  virtual Session& session() = 0;
  virtual DialogService& dialogs() = 0;
  // The connection name and the modem number to dial in use now, Windows-1250.
  virtual const std::string& connectionName() const = 0;
  virtual const std::string& phoneNumber() const = 0;
  // The connection, the number to dial and the text of the connection panel.
  virtual void applyConnection(const std::string& name, const std::string& phone,
                               const QString& panel) = 0;
};

class TPingset : public QDialog {
 public:
  using PortLister = std::function<std::vector<platform::PortInfo>()>;

  // Reads and applies the host's settings. `listPorts` is asked again every second so
  // adapters plugged in or out show up while the dialog is open.
  TPingset(ComPortHost& host, QWidget* parent, PortLister listPorts = platform::ListPorts);

  // The hint line under the port list: why the chosen port may not open.
  QString portWarning() const;
  void refreshPorts();  // the timer's work, callable by tests
  // The named connection's list: rename the selected one in place, delete it after a question.
  void renameSelected();
  void deleteSelected();

  static constexpr int kPollMs = 1000;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void done(int result) override;

 private:
  struct PortItem {
    QString name;
    QString details;  // shown beside the name in the drop-down
    QString warning;  // empty when nothing keeps the port from opening
    bool operator==(const PortItem&) const = default;
  };
  std::vector<PortItem> PortItems() const;
  void SetPortItems(const std::vector<PortItem>& items);
  void SelectPort(const QString& name);
  void SelectSpeed(const QString& text);
  void ShowCurrentSettings();
  void LoadSelectedConnection();
  void AskNetworkPort();
  void ConnectionRenamed(QListWidgetItem* item);
  LineChoice ChosenLine() const;
  void ShowLine(const LineChoice& line);
  ConnectionEntry ChosenEntry() const;
  // The connection whose stored settings the fields show now, as they were shown.
  void Shown(const std::string& name);
  bool StoreAndApply();
  void ShowPortWarning();
  void FitSize();

  ComPortHost& host_;
  PortLister listPorts_;
  std::vector<PortItem> portItems_;
  // The port last chosen here; it is selected again when its adapter comes back.
  QString wantedPort_;
  // Network addresses offered beside the system's ports: the settings', the connections'
  // picked here, and those entered.
  QStringList networkPorts_;
  // The connection name the fields were filled from (the current one, or one picked from the
  // list), and the entry as it was then: closing with that name stores only what the user
  // chose to store.
  std::string shownName_;
  ConnectionEntry shownEntry_;
  bool shown_ = false;
  bool closing_ = false;
  bool settingPorts_ = false;

  QComboBox* CmbCom;
  QPushButton* btnNetPort;
  QComboBox* CmbSpeed;
  QComboBox* CmbDataBits;
  QComboBox* CmbParity;
  QComboBox* CmbStopBits;
  QComboBox* CmbFlow;
  QPushButton* btnRename;
  QPushButton* btnDelete;
  QLineEdit* edPhone;
  QListWidget* lbConn;
  QLineEdit* edConn;
  QPushButton* BtnOK;
  QLabel* portWarning_;
  QLayout* top_;
  QWidget* Panel1_;
  QTimer* poll_;
};

}  // namespace tarvelo
