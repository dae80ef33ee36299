// The terminal page on a pseudo-terminal, as the terminal's Qt tests use it: the slave linked
// as ttyUSB0 in the stand-in device folder, the page connected to it, and what the port wrote.
#pragma once

#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QToolButton>
#include <QtTest>
#include <string>

#include "model/Pages.h"
#include "tests/serial/PtyPair.h"
#include "tests/ui/Fixture.h"
#include "ui/ComTerminal.h"

namespace tarvelo {

// Reads what the port wrote until `want` has come or `ms` have passed.
inline std::string ReceivedUntil(const PtyPair& pty, const std::string& want, int ms = 2000) {
  std::string got;
  QElapsedTimer clock;
  clock.start();
  while (got.find(want) == std::string::npos && clock.elapsed() < ms) {
    QCoreApplication::processEvents();
    got += pty.Received(20);
  }
  return got;
}

// A port the page can open by name: the slave of a pseudo-terminal as ttyUSB0.
struct LinkedPty {
  PtyPair pty;
  explicit LinkedPty(const QString& dir) {
    const std::string link = (dir + "/ttyUSB0").toStdString();
    unlink(link.c_str());
    [[maybe_unused]] int r = symlink(pty.path.c_str(), link.c_str());
  }
};

// The terminal page shown and connected to whatever is linked as ttyUSB0.
inline TComTerminal* ConnectTerminal(Fixture& f) {
  f.session.workstation.portName = "USB0";
  f.window->showPage(PageId::Terminal);
  QTest::mouseClick(f.get<QToolButton>("btnConnect"), Qt::LeftButton);
  return f.get<TComTerminal>("ComTerminal1");
}

}  // namespace tarvelo
