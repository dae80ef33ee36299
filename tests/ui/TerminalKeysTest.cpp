#include <QtTest>

#include "tests/ui/Fixture.h"

class TerminalKeysTest : public QObject {
  Q_OBJECT
 private slots:
  void placeholder() {}
};

TARVELO_TEST_MAIN(TerminalKeysTest)
#include "TerminalKeysTest.moc"
