// A main window over its own session, settings folder and scripted dialogs, with helpers
// to leave controls the way a user does.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "tests/ui/ScriptedDialogs.h"
#include "ui/CodesPage.h"
#include "ui/ErrorGuard.h"
#include "ui/MainWindow.h"
#include "ui/NumbersPage.h"
#include "ui/Printing.h"

namespace tarvelo {

struct Fixture {
  QTemporaryDir dir;
  Session session;
  ScriptedDialogs::Shared dialogs;
  std::unique_ptr<TMainForm> window;

  explicit Fixture(const QString& openFile = QString(), bool show = true) {
    session.programIniPath = (dir.path() + "/tarvelo.ini").toStdString();
    session.connectionsIniPath = (dir.path() + "/tvconn.ini").toStdString();
    session.workstation = LoadWorkstationSettings(session.programIniPath);
    window =
        std::make_unique<TMainForm>(session, std::make_unique<ScriptedDialogs>(dialogs), openFile);
    if (show) {
      window->show();
      window->activateWindow();
      QApplication::setActiveWindow(window.get());
      QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }
  }
  template <typename T>
  T* get(const char* name) const {
    T* w = window->findChild<T*>(name);
    if (!w) qFatal("no control %s", name);
    return w;
  }
  // The window's parts, as the pages and dialogs reach them.
  DeviceConnection& connection() const { return static_cast<TerminalHost&>(*window).connection(); }
  void applyConnection(const std::string& name, const std::string& phone, const QString& panel) {
    static_cast<ComPortHost&>(*window).applyConnection(name, phone, panel);
  }
  CodesPage& codesPage() const { return *get<CodesPage>("TabSheet5"); }
  NumbersPage& numbersPage() const { return *get<NumbersPage>("TabSheet6"); }
  Printing& printing() const { return part<Printing>(); }
  TransferRunner& transfers() const { return part<TransferRunner>(); }
  // A helper object of the window that Qt's casts cannot find by type.
  template <typename T>
  T& part() const {
    for (QObject* o : window->findChildren<QObject*>()) {
      if (auto* t = dynamic_cast<T*>(o)) return *t;
    }
    qFatal("no such part of the window");
  }
  uint8_t byte(Field f, int plus = 0) const {
    return session.record.image.ImageByte(window->layout().Offset(f) + plus);
  }
  void setModel(int index) { get<QComboBox>("cbTipus")->setCurrentIndex(index); }
  // A new database of the given model, its page shown so its controls can take the focus.
  void start(int model, int page) {
    setModel(model);
    window->NewDatabaseDefaults();
    window->showPage(static_cast<PageId>(page));
    QCoreApplication::processEvents();
  }
  // Focus into the control, then away to the type box: the control is left.
  void leave(QWidget* w) {
    w->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
    get<QComboBox>("cbTipus")->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
  }
  void typeAndLeave(const char* edit, const QString& text) {
    auto* e = get<QLineEdit>(edit);
    e->setFocus(Qt::TabFocusReason);
    e->setText(text);
    get<QComboBox>("cbTipus")->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
  }
};

}  // namespace tarvelo

// The tests' main: the application the program runs with, so errors are caught where the
// program catches them.
#define TARVELO_TEST_MAIN(TestObject)            \
  int main(int argc, char** argv) {              \
    tarvelo::GuardedApplication app(argc, argv); \
    app.setAttribute(Qt::AA_Use96Dpi, true);     \
    TestObject tc;                               \
    QTEST_SET_MAIN_SOURCE_PATH                   \
    return QTest::qExec(&tc, argc, argv);        \
  }
