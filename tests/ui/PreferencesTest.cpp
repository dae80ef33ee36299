// The Preferences dialog and the code table: a size the user did not change stays as it
// is, a new code length re-lays the codes, and a value the boxes cannot take is named.
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "model/CodeTable.h"
#include "tests/ui/Fixture.h"
#include "ui/CodesPage.h"
#include "ui/PreferencesDialog.h"

using namespace tarvelo;

namespace {

std::string CodeOf(int k, int digits) {
  long mod = 1;
  for (int i = 0; i < digits; ++i) mod *= 10;
  std::string s = std::to_string((k * 7919L) % mod);
  return std::string(static_cast<size_t>(digits) - s.size(), '0') + s;
}

// A clean database in `model` whose table holds `count` codes of `digits` digits in records
// of `storedLength` + 1 bytes, each with its own rights byte, decoded into the pages.
void Load(Fixture& f, int model, int count, int storedLength, int digits) {
  f.setModel(model);
  f.dialogs.answers = {QMessageBox::No};
  f.get<QAction>("Uj1")->trigger();
  f.dialogs.answers.clear();
  // Out of the field "Uj" leaves the focus in, so that its own leave handler is done with.
  f.get<QComboBox>("cbTipus")->setFocus(Qt::TabFocusReason);
  QCoreApplication::processEvents();
  ConfigImage& image = f.session.record.image;
  const ImageLayout& layout = f.window->layout();
  const int L = storedLength + 1;
  StoreRecordLength(image, layout, L);
  StoreCodeCount(image, layout, count);
  for (int k = 1; k <= count; ++k) {
    const long start = layout.Offset(Field::CodeTable) + static_cast<long>(k - 1) * L;
    image.SetBytes(start, CodeOf(k, digits));
    image.SetImageByte(start + L - 1, static_cast<uint8_t>(0x30 + k % 16));
  }
  f.session.record.site.set("Gy\xF5r");
  f.window->DecodeImage();
  // Saved, so that the modified flag starts clear.
  f.dialogs.saveNames = {f.dir.path() + "/codes.pi1"};
  f.get<QAction>("mnuSave")->trigger();
  f.dialogs.messages.clear();
  QVERIFY(!f.window->modifiedFlag());
}

QSpinBox* Box(TPrefer* d, const char* name) {
  return d->findChild<QSpinBox*>(name);
}

void Type(QSpinBox* box, const QString& text) {
  box->setFocus(Qt::TabFocusReason);
  box->selectAll();
  QTest::keyClicks(box, text);
}

bool HasFocus(QWidget* w) {
  QWidget* focus = QApplication::focusWidget();
  return focus && (focus == w || w->isAncestorOf(focus));
}

// Opens the dialog and runs `act` on it. `act` is to close it; a dialog left open by a
// failed check is hidden so that the test ends.
void WithPreferences(Fixture& f, const std::function<void(TPrefer*)>& act) {
  bool ran = false;
  QTimer::singleShot(0, [&] {
    QPointer<TPrefer> d = dynamic_cast<TPrefer*>(QApplication::activeModalWidget());
    if (!d) qFatal("no dialog shown");
    QApplication::setActiveWindow(d);
    act(d);
    ran = true;
    if (d && d->isVisible()) {
      qWarning("the dialog stayed open");
      ran = false;
      d->hide();
    }
  });
  f.get<QAction>("Preferencik1")->trigger();
  QVERIFY(ran);
}

}  // namespace

class PreferencesTest : public QObject {
  Q_OBJECT
 private slots:
  void untouchedDialogChangesNothing_data();
  void untouchedDialogChangesNothing();
  void codeLengthChangeReLaysTheTable_data();
  void codeLengthChangeReLaysTheTable();
  void sizeTheCodesDoNotFitIsRefused_data();
  void sizeTheCodesDoNotFitIsRefused();
  void valueAboveALimitIsNamed_data();
  void valueAboveALimitIsNamed();
  void arrowsStayWithinTheLimits();
  void onlyAChangedTextIsStored();
};

void PreferencesTest::untouchedDialogChangesNothing_data() {
  QTest::addColumn<int>("model");
  QTest::addColumn<int>("count");
  QTest::addColumn<int>("storedLength");
  QTest::addColumn<int>("digits");
  QTest::addColumn<QString>("closing");
  for (const int model : {0, 1}) {
    const QByteArray m = model == 0 ? "4-line: " : "16-line: ";
    // Beyond the dialog's limits: what an import or a device can leave.
    QTest::newRow(m + "150 two-digit codes") << model << 150 << 2 << 2 << "close";
    QTest::newRow(m + "record length 15") << model << 10 << 14 << 4 << "ok";
    QTest::newRow(m + "614 four-digit codes") << model << 614 << 4 << 4 << "escape";
    QTest::newRow(m + "no codes") << model << 0 << 6 << 6 << "ok";
  }
}

void PreferencesTest::untouchedDialogChangesNothing() {
  QFETCH(int, model);
  QFETCH(int, count);
  QFETCH(int, storedLength);
  QFETCH(int, digits);
  QFETCH(QString, closing);
  Fixture f;
  Load(f, model, count, storedLength, digits);
  const DatabaseRecord before = f.session.record;
  WithPreferences(f, [&](TPrefer* d) {
    QCOMPARE(Box(d, "SEkoddb")->value(), count);
    QCOMPARE(Box(d, "SEkodlen")->value(), storedLength);
    // Passing through the boxes is no change either.
    Box(d, "SEkodlen")->setFocus(Qt::TabFocusReason);
    Box(d, "SEkoddb")->setFocus(Qt::TabFocusReason);
    d->findChild<QLineEdit*>("Esite")->setFocus(Qt::TabFocusReason);
    if (closing == "ok") d->findChild<QPushButton*>("OKBtn")->click();
    if (closing == "escape") QTest::keyClick(d, Qt::Key_Escape);
    if (closing == "close") d->close();
  });
  QVERIFY(f.session.record == before);
  QVERIFY(!f.window->modifiedFlag());
  QCOMPARE(f.dialogs.messages, QStringList());
  QCOMPARE(f.codesPage().grid().rowCount(), std::max(count, 1) + 1);
}

void PreferencesTest::codeLengthChangeReLaysTheTable_data() {
  QTest::addColumn<int>("model");
  QTest::newRow("4-line") << 0;
  QTest::newRow("16-line") << 1;
}

// The fault: the new record length was stored over records still laid out at the old one,
// and every code and rights byte read back garbled.
void PreferencesTest::codeLengthChangeReLaysTheTable() {
  QFETCH(int, model);
  Fixture f;
  Load(f, model, 438, 4, 4);
  const ImageLayout& layout = f.window->layout();
  const ConfigImage original = f.session.record.image;
  WithPreferences(f, [](TPrefer* d) {
    Type(Box(d, "SEkodlen"), "6");
    d->findChild<QPushButton*>("OKBtn")->click();
  });
  const ConfigImage& image = f.session.record.image;
  QCOMPARE(StoredRecordLength(image, layout), 7);
  QCOMPARE(StoredCodeCount(image, layout), 438);
  for (int k = 1; k <= 438; ++k) {
    const std::string record = image.Bytes(layout.Offset(Field::CodeTable) + (k - 1) * 7L, 7);
    QCOMPARE(record, CodeOf(k, 4) + "  " + static_cast<char>(0x30 + k % 16));
  }
  QVERIFY(f.window->modifiedFlag());
  QCOMPARE(f.window->panelText(1), QString("438/6"));
  QCOMPARE(f.dialogs.messages, QStringList());

  // Leaving the grid now stores what it shows at the new length: the same bytes.
  const ConfigImage relaid = image;
  f.window->showPage(PageId::Codes);
  f.leave(f.codesPage().view());
  QVERIFY(f.session.record.image == relaid);

  WithPreferences(f, [](TPrefer* d) {
    Type(Box(d, "SEkodlen"), "4");
    QTest::keyClick(d, Qt::Key_Escape);  // closing in any way stores
  });
  QVERIFY(f.session.record.image == original);
  QCOMPARE(f.window->panelText(1), QString("438/4"));
}

void PreferencesTest::sizeTheCodesDoNotFitIsRefused_data() {
  QTest::addColumn<int>("model");
  QTest::addColumn<int>("count");
  QTest::addColumn<int>("digits");
  QTest::addColumn<QString>("length");
  QTest::addColumn<QString>("message");
  for (const int model : {0, 1}) {
    const QByteArray m = model == 0 ? "4-line: " : "16-line: ";
    QTest::newRow(m + "614 codes 4 -> 6")
        << model << 614 << 4 << "6"
        << "614 darab 6 jegyű kód nem fér el a kódtáblában (legfeljebb 438 fér el) !!!";
    QTest::newRow(m + "six digits cut to 4")
        << model << 10 << 6 << "4"
        << "10 kód hosszabb 4 jegynél, a kódjegyek száma nem lehet 4 !!!";
  }
}

void PreferencesTest::sizeTheCodesDoNotFitIsRefused() {
  QFETCH(int, model);
  QFETCH(int, count);
  QFETCH(int, digits);
  QFETCH(QString, length);
  QFETCH(QString, message);
  Fixture f;
  Load(f, model, count, digits, digits);
  const DatabaseRecord before = f.session.record;
  WithPreferences(f, [&](TPrefer* d) {
    QSpinBox* box = Box(d, "SEkodlen");
    Type(box, length);
    d->findChild<QLineEdit*>("Esite")->setFocus(Qt::TabFocusReason);  // 2..8: taken
    QCOMPARE(f.dialogs.messages, QStringList());
    d->findChild<QPushButton*>("OKBtn")->click();
    QCOMPARE(f.dialogs.messages, QStringList({message}));
    QVERIFY(d->isVisible());
    QVERIFY(HasFocus(box));
    QVERIFY(f.session.record == before);
    // Put back, the table is no change at all.
    Type(box, QString::number(digits));
    d->findChild<QPushButton*>("OKBtn")->click();
  });
  QVERIFY(f.session.record == before);
  QVERIFY(!f.window->modifiedFlag());
  QCOMPARE(f.codesPage().grid().rowCount(), count + 1);
}

void PreferencesTest::valueAboveALimitIsNamed_data() {
  QTest::addColumn<int>("storedLength");
  QTest::addColumn<QString>("box");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("message");
  QTest::newRow("500 six-digit codes") << 6 << "SEkoddb"
                                       << "500"
                                       << "A kódok darabszáma 6 jegyű kódból 0..438 lehet !!!";
  QTest::newRow("150 two-digit codes") << 2 << "SEkoddb"
                                       << "150"
                                       << "A kódok darabszáma 2 jegyű kódból 0..100 lehet !!!";
  QTest::newRow("length 9") << 6 << "SEkodlen"
                            << "9"
                            << "A kódjegyek száma 2..8 lehet !!!";
  QTest::newRow("length 1") << 6 << "SEkodlen"
                            << "1"
                            << "A kódjegyek száma 2..8 lehet !!!";
}

// The fault: the spin boxes dropped the keystroke that went past their limit, so "500"
// became 50 and "150" became 15 without a word, and a 9 in the length box was ignored.
void PreferencesTest::valueAboveALimitIsNamed() {
  QFETCH(int, storedLength);
  QFETCH(QString, box);
  QFETCH(QString, typed);
  QFETCH(QString, message);
  for (const int model : {0, 1}) {
    Fixture f;
    Load(f, model, 10, storedLength, storedLength);
    const DatabaseRecord before = f.session.record;
    WithPreferences(f, [&](TPrefer* d) {
      QSpinBox* b = Box(d, box.toLatin1().constData());
      const int stored = b->value();
      Type(b, typed);
      QCOMPARE(b->text(), typed);
      d->findChild<QLineEdit*>("Esite")->setFocus(Qt::TabFocusReason);
      QCOMPARE(f.dialogs.messages, QStringList({message}));
      QVERIFY(HasFocus(b));
      QCOMPARE(b->text(), typed);
      // However the dialog is closed, the value is not stored.
      QTest::keyClick(d, Qt::Key_Escape);
      QVERIFY(d->isVisible());
      QCOMPARE(f.dialogs.messages, QStringList({message, message}));
      b->setValue(stored);
      d->findChild<QPushButton*>("OKBtn")->click();
    });
    QVERIFY(f.session.record == before);
    QVERIFY(!f.window->modifiedFlag());
  }
}

void PreferencesTest::arrowsStayWithinTheLimits() {
  Fixture f;
  Load(f, 1, 438, 6, 2);
  WithPreferences(f, [](TPrefer* d) {
    QSpinBox* count = Box(d, "SEkoddb");
    QSpinBox* length = Box(d, "SEkodlen");
    count->stepBy(5);
    QCOMPARE(count->value(), 438);
    length->stepBy(5);
    QCOMPARE(length->value(), 8);
    count->stepBy(-1000);
    QCOMPARE(count->value(), 0);
    count->stepBy(1000);
    QCOMPARE(count->value(), 341);
    length->stepBy(-10);
    QCOMPARE(length->value(), 2);
    count->stepBy(1000);  // above the new limit: up does nothing, down comes to it
    QCOMPARE(count->value(), 341);
    count->stepBy(-1);
    QCOMPARE(count->value(), 100);
    d->findChild<QPushButton*>("OKBtn")->click();
  });
  QCOMPARE(StoredCodeCount(f.session.record.image, f.window->layout()), 100);
  QCOMPARE(StoredRecordLength(f.session.record.image, f.window->layout()), 3);
}

void PreferencesTest::onlyAChangedTextIsStored() {
  Fixture f;
  Load(f, 0, 5, 6, 6);
  // A byte the code page leaves undefined: shown, but not written back unless edited.
  f.session.record.owner.set("A\x81");
  const DatabaseRecord before = f.session.record;
  WithPreferences(f, [](TPrefer* d) {
    d->findChild<QLineEdit*>("Esite")->setText("Pécs");
    d->findChild<QPushButton*>("OKBtn")->click();
  });
  DatabaseRecord expected = before;
  expected.site.set(
      "P\xE9"
      "cs");
  QVERIFY(f.session.record == expected);
  QVERIFY(f.window->modifiedFlag());
}

TARVELO_TEST_MAIN(PreferencesTest)
#include "PreferencesTest.moc"
