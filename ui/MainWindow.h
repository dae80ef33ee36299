// The main window: pages, menus, type box and status bar; start-up, close and the file
// commands. The pages do the settings; this class only composes and hands over.
#pragma once

#include <QMainWindow>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "serial/ComPort.h"
#include "model/DatabaseRecord.h"
#include "ui/DialogService.h"
#include "model/ImageLayout.h"
#include "ui/Page.h"
#include "files/Workstation.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QTabWidget;
class QTextBrowser;

namespace tarvelo {

class LeaveDispatcher;
class PathPanel;
class TransferRunner;

// What lives for the whole run beside the window: the open database and the workstation.
struct Session {
  DatabaseRecord record;
  std::string databaseFileName;
  std::optional<std::chrono::system_clock::time_point> fileDate;
  WorkstationSettings workstation;
  std::string programIniPath = ProgramIniPath();
  std::string connectionsIniPath = ConnectionsIniPath();
};

class TMainForm : public QMainWindow, public PageHost {
 public:
  // `dialogs` may be given by tests; otherwise Qt's own dialogs are used. `openFile` is
  // the database named on the command line, if any.
  TMainForm(Session& session, std::unique_ptr<DialogService> dialogs = nullptr,
            const QString& openFile = QString());
  ~TMainForm() override;

  // PageHost
  ConfigImage& image() override { return session_.record.image; }
  const ImageLayout& layout() const override { return layout_; }
  void SetModified() override { modifiedFlag_ = true; }
  DialogService& dialogs() override { return *dialogs_; }
  LeaveDispatcher& leave() override { return *leave_; }

  bool modifiedFlag() const { return modifiedFlag_; }
  DeviceModel model() const { return model_; }
  QString panelText(int panel) const;
  const std::string& connectionName() const { return connectionName_; }

  // Commands, named as the menu items and controls that run them.
  void cbTipusChange();
  void DecodeImage();
  void NewDatabaseDefaults();
  void Uj1Click();
  void Open1Click(const QString& startupFile = QString());
  void mnuSaveClick();
  void SaveAs1Click();
  // Yes saves first; returns false when the caller must stop (Cancel).
  bool ConfirmSaveChanges();
  void CommitFocusedField();
  void ShowPage(int index);  // a "&Nézet" item
  void Tartalom1Click();
  void DnLoad1Click(int tag);
  void UpLoad1Click();
  TComPort& comPort() { return ComPort1; }
  TransferRunner& transfers() { return *transfers_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void BuildStatusBar();
  void PageChanged();
  bool SaveTo(const QString& fileName);
  void SetPanel0(const QString& text);
  void SetPanel(int panel, const QString& text);
  void SetUpComPort();
  FileDialogOptions DatabaseOpenOptions() const;
  FileDialogOptions DatabaseSaveOptions() const;

  Session& session_;
  std::unique_ptr<DialogService> dialogs_;
  TComPort ComPort1;
  TransferRunner* transfers_ = nullptr;
  LeaveDispatcher* leave_;
  ImageLayout layout_ = ImageLayout::For(DeviceModel::FourLine);
  DeviceModel model_ = DeviceModel::FourLine;
  bool modifiedFlag_ = false;
  std::string connectionName_;  // Windows-1250

  QTabWidget* PageControl;
  QWidget* pnlBott;
  QComboBox* cbTipus;
  PathPanel* panel0_;
  std::vector<QLabel*> panels_;  // 1..3; [0] unused
  std::vector<Page*> pages_;
  QMenu* Kdok2;
  QMenu* Szamok2;
  QTextBrowser* help_ = nullptr;
};

}  // namespace tarvelo
