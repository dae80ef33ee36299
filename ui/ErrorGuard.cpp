#include "ui/ErrorGuard.h"

#include <cstdio>
#include <utility>

namespace tarvelo {
namespace {
std::function<void(const QString&)>& Reporter() {
  static std::function<void(const QString&)> reporter;
  return reporter;
}
}  // namespace

QString ErrorText(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
    return QStringLiteral("Ismeretlen hiba");
  }
}

void SetErrorReporter(std::function<void(const QString&)> reporter) {
  Reporter() = std::move(reporter);
}

void ReportError(std::exception_ptr error) {
  const QString text = ErrorText(error);
  if (Reporter()) {
    // A reporter that fails itself must not take the program down with it.
    try {
      Reporter()(text);
      return;
    } catch (...) {
    }
  }
  std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
  bool handled = false;
  RunGuarded([&] { handled = QApplication::notify(receiver, event); });
  return handled;
}

}  // namespace tarvelo
