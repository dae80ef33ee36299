#include <QIcon>

#include "files/Workstation.h"
#include "ui/ErrorGuard.h"
#include "ui/MainWindow.h"
#include "ui/QtText.h"
#include "ui/Session.h"

int main(int argc, char** argv) {
  // Start-up order: workstation settings and the record, the title, then the window.
  tarvelo::Session session;
  session.workstation = tarvelo::LoadWorkstationSettings(session.programIniPath);
  tarvelo::GuardedApplication app(argc, argv);
  QApplication::setApplicationName("Tarvelo1.2");
  QApplication::setWindowIcon(QIcon(":/tarvelo.svg"));
  tarvelo::InstallHungarianTexts(app);
  const QStringList args = QApplication::arguments();
  tarvelo::TMainForm window(session, nullptr, args.size() > 1 ? args.at(1) : QString());
  window.show();
  return app.exec();
}
