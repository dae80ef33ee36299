// The main window: pages, menus, type box and status bar; start-up, close and the file
// commands. The pages do the settings; this class only composes and hands over.
#pragma once

#include <QKeySequence>
#include <QList>
#include <QMainWindow>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "link/Connection.h"
#include "model/DatabaseRecord.h"
#include "model/ImageLayout.h"
#include "model/Pages.h"
#include "ui/ComPortDialog.h"
#include "ui/DialogService.h"
#include "ui/Page.h"
#include "ui/PreferencesDialog.h"
#include "ui/Session.h"
#include "ui/TerminalPage.h"
#include "ui/TransferRunner.h"

class QAction;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QMenu;
class QTabWidget;
class QTextBrowser;

namespace tarvelo {

class CodesPage;
class LeaveDispatcher;
class NumbersPage;
class PathPanel;
class Printing;

class TMainForm : public QMainWindow,
                  public PageHost,
                  public TerminalHost,
                  public ComPortHost,
                  public PreferencesHost {
 public:
  // `dialogs` may be given by tests; otherwise Qt's own dialogs are used. `openFile` is
  // the database named on the command line, if any.
  TMainForm(Session& session, std::unique_ptr<DialogService> dialogs = nullptr,
            const QString& openFile = QString());
  ~TMainForm() override;

  // What the window shows. modifiedFlag: whether the database differs from what was last
  // loaded, saved or newly created: the whole record (image, site, owner, password,
  // connection name) with the free-call list of the page shown. A field still being typed
  // in is not in it until it is left.
  bool modifiedFlag() const;
  DeviceModel model() const { return model_; }
  const ImageLayout& layout() const override { return layout_; }
  QString panelText(int panel) const;
  const std::string& connectionName() const override { return connectionName_; }
  // The modem number to dial, Windows-1250; the terminal page shows and dials it.
  const std::string& phoneNumber() const override { return phoneNumber_; }
  // What the open and save dialogs offer for database files.
  FileDialogOptions DatabaseOpenOptions() const;
  FileDialogOptions DatabaseSaveOptions() const;

  // The file and view commands, as their menu items run them.
  void NewDatabaseDefaults();
  void newDatabase();
  void openDatabase(const QString& startupFile = QString());
  // False when the caller must not go on: the entry was refused, the save dialog cancelled
  // or the file not written.
  bool saveDatabase();
  void saveDatabaseAs();
  void showPage(PageId page);   // a "&Nézet" item
  void DecodeImage() override;  // also "&Frissítés"

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // PageHost
  ConfigImage& image() override { return session_.record.image; }
  DialogService& dialogs() override { return *dialogs_; }
  LeaveDispatcher& leave() override { return *leave_; }
  void ShowCodeCount(const QString& text) override { SetPanel(1, text); }
  void ShowStatus(const QString& text) override;
  void ExchangeDialogUsed(bool openDialog) override {
    (openDialog ? openDialogExchanged_ : saveDialogExchanged_) = true;
  }
  // TerminalHost
  DeviceConnection& connection() override { return connection_; }
  const WorkstationSettings& workstation() const override { return session_.workstation; }
  void SetDeviceClock() override;
  bool TerminalFitsWindow() const override;
  void KeepTerminalFitsWindow(bool on) override;
  // ComPortHost, PreferencesHost
  Session& session() override { return session_; }
  void applyConnection(const std::string& name, const std::string& phone,
                       const QString& panel) override;
  CodesPage& codesPage() override { return *codesPage_; }

  void BuildMenus();
  void openComPortSettings();
  void openPreferences();
  void showHelp();
  void startDownload(TransferKind kind);  // a configuration or a PROM download
  void startUpload();
  // The model switch of the type box: layout, item lists and visibility. No decode.
  void applyModel();
  void SwitchModel(DeviceModel model);  // the type box follows
  // Yes saves first; returns false when the caller must stop (Cancel). `asked` tells
  // whether the question was put.
  bool ConfirmSaveChanges(bool* asked = nullptr);
  // Stores the field being edited; false when its entry was refused (the focus is back in it).
  bool CommitFocusedField();
  void BuildStatusBar();
  void PageChanged();
  bool SaveTo(const QString& fileName);
  // The record with the connection name the window holds, as a save would write it.
  DatabaseRecord CurrentRecord() const;
  // What is open now is what was loaded, saved or created: the modified flag compares
  // against it.
  void KeepBaseline();
  // The model of a database just loaded: what its bytes prove, else the user's answer;
  // none when the user cancelled.
  std::optional<DeviceModel> ModelOfLoaded(const DatabaseRecord& loaded);
  void SetPanel0(const QString& text);
  void SetPanel(int panel, const QString& text);
  void SetUpConnection();
  // While the terminal holds the port, whatever is on the line may not be the device: the
  // transfers then start only from the menu, never by a key alone.
  void UpdateTransferKeys();

  Session& session_;
  std::unique_ptr<DialogService> dialogs_;
  DeviceConnection connection_;
  TransferRunner* transfers_ = nullptr;
  LeaveDispatcher* leave_;
  ImageLayout layout_ = ImageLayout::For(DeviceModel::FourLine);
  DeviceModel model_ = DeviceModel::FourLine;
  DatabaseRecord baseline_;
  // Whether an exchange-file command has used the open or the save dialog.
  bool openDialogExchanged_ = false;
  bool saveDialogExchanged_ = false;
  std::string connectionName_;  // Windows-1250
  std::string phoneNumber_;     // Windows-1250

  QTabWidget* PageControl;
  QWidget* pnlBott;
  QHBoxLayout* bottomRow_;
  QComboBox* cbTipus;
  PathPanel* panel0_;
  std::vector<QLabel*> panels_;  // 1..3; [0] unused
  std::vector<Page*> pages_;
  CodesPage* codesPage_;
  NumbersPage* numbersPage_;
  QMenu* codesMenu_;
  QMenu* numbersMenu_;
  QTextBrowser* help_ = nullptr;
  TerminalPage* terminalPage_;
  Printing* printing_ = nullptr;
  QAction* printAction_ = nullptr;
  // The transfer items and the keys they have while the terminal does not hold the port.
  std::vector<std::pair<QAction*, QList<QKeySequence>>> transferKeys_;
};

}  // namespace tarvelo
