// The one place where an error that ends a command is caught: it is shown in a message box
// and the program goes on. Every event Qt delivers (menu items, buttons, page handlers, the
// serial port's hand-over) passes through GuardedApplication::notify.
#pragma once

#include <QApplication>
#include <QString>
#include <exception>
#include <functional>

namespace tarvelo {

// The text shown for an error.
QString ErrorText(std::exception_ptr error);

// Where caught errors are shown; the main window installs its message box here. Without
// one they go to standard error.
void SetErrorReporter(std::function<void(const QString&)> reporter);
void ReportError(std::exception_ptr error);

// Runs `f`; an error it raises is reported and goes no further.
template <typename F>
void RunGuarded(F&& f) {
  try {
    f();
  } catch (...) {
    ReportError(std::current_exception());
  }
}

class GuardedApplication : public QApplication {
 public:
  GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace tarvelo
