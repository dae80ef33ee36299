// The one place where an error that ends a command is caught: it is shown in a message box
// and the program goes on. Handlers are wrapped where they are connected (Guarded), so an
// error stops before it reaches the toolkit's own frames, which do not expect one;
// GuardedApplication::notify catches whatever a handler connected otherwise lets through.
#pragma once

#include <QApplication>
#include <QString>
#include <concepts>
#include <exception>
#include <functional>
#include <utility>

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

// A handler for connect(): runs `f` under RunGuarded with whatever the signal passes.
template <typename F>
auto Guarded(F f) {
  // The constraint lets the toolkit see how many of a signal's arguments the handler takes.
  return [f = std::move(f)](auto&&... args) requires std::invocable<const F&, decltype(args)...> {
    RunGuarded([&] { f(std::forward<decltype(args)>(args)...); });
  };
}

class GuardedApplication : public QApplication {
 public:
  GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace tarvelo
