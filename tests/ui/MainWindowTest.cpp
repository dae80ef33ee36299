#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "files/DatabaseFile.h"
#include "model/CodeTable.h"
#include "model/NewDatabase.h"
#include "tests/ui/Fixture.h"
#include "tests/ui/ScriptedDialogs.h"
#include "ui/MainWindow.h"
#include "ui/PathPanel.h"
#include "ui/QtText.h"
#include "ui/Widgets.h"

using namespace tarvelo;

namespace {

QStringList Items(RadioGroup* g) {
  return g->items();
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void startUpState();
  void menusInPlace();
  void modelSwitch();
  void byteFieldsRefuseAndStore_data();
  void byteFieldsRefuseAndStore();
  void generalHandlers_data();
  void generalHandlers();
  void radioGroupsStoreOnClick();
  void byteBoxStoresWhereTheModelShownHasItsField();
  void switchesSetTheModifiedFlagOnlyWhenTheyChangeTheByte();
  void pageChangeEnablesMenus();
  void closeFlow();
  void startWithAFileAsksForItsPassword();
  void saveAndNewDatabase();
  void refreshShowsRepairs();
  void helpWindow();
  void panel0Shortening();
  void aRefusedValueHoldsItsPageAndFocus();
  void aDatabaseIsShownInItsOwnModel();
  void qtTextsAndQuestionButtonsInHungarian();
};

void MainWindowTest::startUpState() {
  Fixture f;
  QCOMPARE(f.window->windowTitle(), QString("Tarvelo (Zen-4 V2.39g; Zen-16 V4.29)"));
  QCOMPARE(f.window->size(), QSize(666, 536));
  QCOMPARE(f.window->panelText(0), QString("Új"));
  QCOMPARE(f.window->panelText(1), QString("1/6"));
  QCOMPARE(f.window->panelText(2), QString("COM1 ( 19200 )"));
  QCOMPARE(f.window->panelText(3), QString("Szétkapcsolva"));
  QCOMPARE(f.window->model(), DeviceModel::FourLine);
  QCOMPARE(f.get<QComboBox>("cbTipus")->currentText(), QString("Zentor-4 (V2.39g+)"));
  QVERIFY(!f.window->modifiedFlag());
  QCOMPARE(f.get<QLineEdit>("MEcopos")->text(), QString("23"));
  QCOMPARE(f.get<QLineEdit>("MEcallpos")->text(), QString("26"));
  QCOMPARE(f.get<QLineEdit>("MErzk")->text(), QString("13"));
  QCOMPARE(f.get<QComboBox>("CBcokar")->currentText(), QString("2"));
  auto* speed = f.get<RadioGroup>("RGspeed");
  QCOMPARE(speed->items()[speed->itemIndex()], QString("9600"));
  auto* mode = f.get<RadioGroup>("RGmod");
  QCOMPARE(mode->items()[mode->itemIndex()], QString("Saját"));
  QVERIFY(f.get<QCheckBox>("chkPinEna")->isChecked());
  auto* tabs = f.get<QTabWidget>("PageControl");
  const QStringList captions = {"&Alap",  "&Vonalak", "I&dőzítők", "Szám&hosszak",
                                "&Kódok", "&Számok",  "&Behívás",  "Te&rminál"};
  QCOMPARE(tabs->count(), 8);
  for (int i = 0; i < 8; ++i) {
    QCOMPARE(tabs->tabText(i), captions[i]);
    QCOMPARE(tabs->widget(i)->objectName(), QString("TabSheet%1").arg(i + 1));
  }
  QVERIFY(f.dialogs.messages.isEmpty());
  QVERIFY(!f.window->windowIcon().pixmap(32).isNull());
}

void MainWindowTest::menusInPlace() {
  Fixture f;
  struct Item {
    const char* name;
    const char* caption;
    const char* shortcut;
    int tag;
  };
  const Item items[] = {{"Uj1", "Uj", "Ctrl+N", -1},
                        {"Open1", "&Megnyitás", "Ctrl+O", -1},
                        {"mnuSave", "M&entés", "Ctrl+S", -1},
                        {"SaveAs1", "Mentés másként", "", -1},
                        {"DnLoad1", "&Letöltés", "Ctrl+D", 0},
                        {"DNLProm", "PROM letöltés (hibakeresés)", "", 2},
                        {"UpLoad1", "&Feltöltés", "Ctrl+U", -1},
                        {"Oldalbellts1", "Oldalbeállítás...", "", -1},
                        {"Nyomtats1", "Nyomtatás...", "Ctrl+P", -1},
                        {"Exit1", "&Kilépés", "", -1},
                        {"mnuComport", "&Com port...", "", -1},
                        {"Preferencik1", "&Preferenciák...", "", -1},
                        {"mnuBeh", "Behívás", "", 6},
                        {"mnuTerm", "Terminál", "", 7},
                        {"Refresh", "&Frissítés", "F5", -1},
                        {"Tartalom1", "&Tartalom", "", -1}};
  for (const Item& i : items) {
    auto* a = f.get<QAction>(i.name);
    QCOMPARE(a->text(), QString(i.caption));
    QCOMPARE(a->shortcut().toString(), QString(i.shortcut));
    if (i.tag >= 0) QCOMPARE(a->property("tag").toInt(), i.tag);
  }
  // The File menu's order, separators included.
  QStringList file;
  for (QAction* a : f.get<QMenu>("File1")->actions())
    file << (a->isSeparator() ? "-" : a->objectName());
  QCOMPARE(file, QStringList({"Uj1", "Open1", "mnuSave", "SaveAs1", "-", "DnLoad1", "DNLProm", "-",
                              "UpLoad1", "-", "Oldalbellts1", "Nyomtats1", "-", "Exit1"}));
  QVERIFY(!f.get<QMenu>("Kdok2")->isEnabled());
  QVERIFY(!f.get<QMenu>("Szamok2")->isEnabled());
}

void MainWindowTest::modelSwitch() {
  Fixture f;
  f.setModel(1);
  QCOMPARE(f.window->model(), DeviceModel::SixteenLine);
  QCOMPARE(Items(f.get<RadioGroup>("RGspeed")),
           QStringList({"9600", "4800", "2400", "1200", "600", "300"}));
  QCOMPARE(Items(f.get<RadioGroup>("RGmod")), QStringList({"Kaszkád", "Normal", "Saját"}));
  QVERIFY(f.get<QCheckBox>("chkPinEna")->isHidden());
  QVERIFY(f.get<QCheckBox>("chkDSTena")->isHidden());
  QVERIFY(!f.get<QCheckBox>("chkDOSena")->isHidden());
  QVERIFY(!f.get<QCheckBox>("chkDOSena")->isEnabled());
  QVERIFY(!f.get<QLineEdit>("MEszamz")->isHidden());
  QVERIFY(!f.get<QWidget>("lblSzamz")->isHidden());
  QVERIFY(!f.window->modifiedFlag());  // the switch changes no byte

  f.setModel(0);
  QCOMPARE(Items(f.get<RadioGroup>("RGspeed")),
           QStringList({"19200", "9600", "4800", "2400", "1200", "600", "300"}));
  QCOMPARE(Items(f.get<RadioGroup>("RGmod")), QStringList({"Normal", "Saját"}));
  QVERIFY(!f.get<QCheckBox>("chkPinEna")->isHidden());
  QVERIFY(f.get<QCheckBox>("chkDOSena")->isEnabled());
  QVERIFY(f.get<QLineEdit>("MEszamz")->isHidden());
}

void MainWindowTest::byteFieldsRefuseAndStore_data() {
  QTest::addColumn<int>("model");
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("stored");  // -1: refused
  for (int model : {0, 1}) {
    const char* m = model == 0 ? "4/" : "16/";
    QTest::newRow((QByteArray(m) + "42").constData()) << model << " 42 " << 42;
    QTest::newRow((QByteArray(m) + "255").constData()) << model << "255" << 255;
    QTest::newRow((QByteArray(m) + "256").constData()) << model << "256" << -1;
    QTest::newRow((QByteArray(m) + "-1").constData()) << model << "-1" << -1;
    QTest::newRow((QByteArray(m) + "abc").constData()) << model << "abc" << -1;
    QTest::newRow((QByteArray(m) + "empty").constData()) << model << "" << -1;
  }
}

void MainWindowTest::byteFieldsRefuseAndStore() {
  QFETCH(int, model);
  QFETCH(QString, text);
  QFETCH(int, stored);
  Fixture f;
  f.setModel(model);
  f.window->NewDatabaseDefaults();
  f.typeAndLeave("MEcopos", text);
  if (stored < 0) {
    QCOMPARE(f.dialogs.messages, QStringList({"Értéknek 0..255 között kell lenni !!!"}));
    QCOMPARE(f.byte(Field::CoPosition), uint8_t(23));
    QVERIFY(!f.window->modifiedFlag());
    QCOMPARE(QApplication::focusWidget(), f.get<QWidget>("MEcopos"));
    QCOMPARE(f.get<QLineEdit>("MEcopos")->text(), text);  // the typed text stays
  } else {
    QVERIFY(f.dialogs.messages.isEmpty());
    QCOMPARE(int(f.byte(Field::CoPosition)), stored);
    QVERIFY(f.window->modifiedFlag());
  }
}

void MainWindowTest::generalHandlers_data() {
  QTest::addColumn<int>("model");
  QTest::addColumn<QString>("control");
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("field");
  QTest::addColumn<int>("stored");  // -1: refused, image unchanged
  QTest::addColumn<QString>("message");
  const auto row = [](const char* name, int model, const char* control, const QString& text,
                      Field field, int stored, const char* message = "") {
    QTest::newRow(name) << model << control << text << int(field) << stored << message;
  };
  row("4/MErzk 10", 0, "MErzk", "10", Field::RecordTerminator, 10);
  row("4/MErzk x", 0, "MErzk", "x", Field::RecordTerminator, -1, "Hibás érték !!!");
  row("16/MErzk 300", 1, "MErzk", "300", Field::RecordTerminator, -1, "Hibás érték !!!");
  row("16/MEszamz #", 1, "MEszamz", "#", Field::NumberTerminator, '#');
  row("16/MEszamz a", 1, "MEszamz", "a", Field::NumberTerminator, -1, "Csak 0..9,*,# lehet !!!");
  row("16/MEszamz empty", 1, "MEszamz", "", Field::NumberTerminator, -1, "Csak 0..9,*,# lehet !!!");
  row("4/CBcokar 4", 0, "CBcokar", "3", Field::CoCharCount, 4);
  row("16/CBcokar none", 1, "CBcokar", "-1", Field::CoCharCount, -1,
      "Válasszon egy értéket 1..4 között !!!");
  row("16/MEcallpos 7", 1, "MEcallpos", "7", Field::CalledPosition, 7);
}

void MainWindowTest::generalHandlers() {
  QFETCH(int, model);
  QFETCH(QString, control);
  QFETCH(QString, text);
  QFETCH(int, field);
  QFETCH(int, stored);
  QFETCH(QString, message);
  Fixture f;
  f.setModel(model);
  f.window->NewDatabaseDefaults();
  const Field fld = static_cast<Field>(field);
  const uint8_t before = f.byte(fld);
  QWidget* w = f.window->findChild<QWidget*>(control);
  if (auto* combo = qobject_cast<QComboBox*>(w)) {
    combo->setFocus(Qt::TabFocusReason);
    combo->setCurrentIndex(text.toInt());
    f.get<QComboBox>("cbTipus")->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
  } else {
    f.typeAndLeave(control.toUtf8().constData(), text);
  }
  if (stored < 0) {
    QCOMPARE(f.dialogs.messages, QStringList({message}));
    QCOMPARE(f.byte(fld), before);
    QVERIFY(!f.window->modifiedFlag());
    QCOMPARE(QApplication::focusWidget(), w);
  } else {
    QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join("|")));
    QCOMPARE(int(f.byte(fld)), stored);
    QVERIFY(f.window->modifiedFlag());
  }
}

void MainWindowTest::radioGroupsStoreOnClick() {
  struct Case {
    int model;
    int speed, parity, mode, below20h;
    uint8_t format, smdrMode;
  };
  for (const Case& c : {Case{0, 6, 1, 0, 1, 0x31, 0x10}, Case{0, 1, 2, 1, 0, 0x08, 0x01},
                        Case{1, 2, 2, 2, 1, 'C', 0x12}, Case{1, 0, 0, 0, 0, '1', 0x00}}) {
    Fixture f;
    f.setModel(c.model);
    f.window->DecodeImage();
    f.get<RadioGroup>("RGspeed")->button(c.speed)->click();
    f.get<RadioGroup>("RGbit")->button(c.parity)->click();
    f.get<RadioGroup>("RGmod")->button(c.mode)->click();
    f.get<RadioGroup>("RG20h")->button(c.below20h)->click();
    QCOMPARE(f.byte(Field::SmdrFormat), c.format);
    QCOMPARE(f.byte(Field::SmdrMode), c.smdrMode);
    QVERIFY(f.window->modifiedFlag());
  }
}

// After a switch by hand the boxes still show the other model's values, but a value typed
// goes where the model now shown keeps the field: the 4-line seize timer's offset is the
// high byte of the 16-line code count, and writing there wrecked the code table.
void MainWindowTest::byteBoxStoresWhereTheModelShownHasItsField() {
  Fixture f;
  const long fourLine = ImageLayout::For(DeviceModel::FourLine).Offset(Field::SeizeTimer);
  const long sixteenLine = ImageLayout::For(DeviceModel::SixteenLine).Offset(Field::SeizeTimer);
  const uint8_t old = f.session.record.image.ImageByte(fourLine);
  const int codes =
      StoredCodeCount(f.session.record.image, ImageLayout::For(DeviceModel::SixteenLine));
  f.setModel(1);  // by hand: no decode yet
  f.typeAndLeave("MEibe", "99");
  QCOMPARE(f.session.record.image.ImageByte(sixteenLine), uint8_t(99));
  QCOMPARE(f.session.record.image.ImageByte(fourLine), old);
  QCOMPARE(StoredCodeCount(f.session.record.image, f.window->layout()), codes);
}

void MainWindowTest::switchesSetTheModifiedFlagOnlyWhenTheyChangeTheByte() {
  Fixture f;
  auto* pin = f.get<QCheckBox>("chkPinEna");
  auto* dst = f.get<QCheckBox>("chkDSTena");
  f.session.record.image.SetImageByte(1409, 0xFA);
  f.window->DecodeImage();
  f.dialogs.saveNames = {f.dir.path() + "/switches.pin"};
  QVERIFY(f.window->saveDatabase());  // what is open is what was saved
  f.leave(dst);
  QVERIFY(!f.window->modifiedFlag());
  dst->setChecked(false);
  f.leave(dst);
  pin->setChecked(true);
  f.leave(pin);
  QCOMPARE(f.session.record.image.ImageByte(1409), uint8_t(0xF9));
  QVERIFY(f.window->modifiedFlag());
  // In the 16-line model the box changes nothing.
  f.setModel(1);
  f.window->DecodeImage();
  const ConfigImage before = f.session.record.image;
  f.leave(f.get<QCheckBox>("chkDOSena"));
  QVERIFY(f.session.record.image == before);
}

void MainWindowTest::pageChangeEnablesMenus() {
  Fixture f;
  auto* tabs = f.get<QTabWidget>("PageControl");
  tabs->setCurrentIndex(4);
  QVERIFY(f.get<QMenu>("Kdok2")->isEnabled());
  QVERIFY(!f.get<QMenu>("Szamok2")->isEnabled());
  f.get<QAction>("mnuSzamok")->trigger();
  QCOMPARE(tabs->currentIndex(), 5);
  QVERIFY(!f.get<QMenu>("Kdok2")->isEnabled());
  QVERIFY(f.get<QMenu>("Szamok2")->isEnabled());
  f.get<QAction>("mnuAlap")->trigger();
  QVERIFY(!f.get<QMenu>("Szamok2")->isEnabled());
}

void MainWindowTest::closeFlow() {
  const char* question = "Tarvelo: Menti a változásokat ?";
  {  // no change: nothing asked, no INI written
    Fixture f;
    QVERIFY(f.window->close());
    QVERIFY(f.dialogs.messages.isEmpty());
    QVERIFY(!QFile::exists(QString::fromStdString(f.session.programIniPath)));
  }
  {  // Cancel keeps the window and writes nothing
    Fixture f;
    f.typeAndLeave("MEcopos", "30");
    f.dialogs.answers = {QMessageBox::Cancel};
    QVERIFY(!f.window->close());
    QCOMPARE(f.dialogs.messages, QStringList({question}));
    QVERIFY(f.window->isVisible());
    QVERIFY(!QFile::exists(QString::fromStdString(f.session.programIniPath)));
  }
  {  // No writes the workstation settings without saving
    Fixture f;
    f.typeAndLeave("MEcopos", "30");
    f.session.workstation.portName = "USB0";
    f.dialogs.answers = {QMessageBox::No};
    QVERIFY(f.window->close());
    QCOMPARE(LoadWorkstationSettings(f.session.programIniPath).portName, std::string("USB0"));
  }
  {  // Yes saves first; a cancelled save dialog saved nothing, so the window stays
    Fixture f;
    f.typeAndLeave("MEcopos", "30");
    f.dialogs.answers = {QMessageBox::Yes};
    QVERIFY(!f.window->close());
    QCOMPARE(f.dialogs.fileDialogs.size(), 1);
    QVERIFY(f.window->isVisible());
    QVERIFY(f.window->modifiedFlag());
    // Saved under a name this time: the window closes.
    f.dialogs.answers = {QMessageBox::Yes};
    f.dialogs.saveNames = {f.dir.path() + "/kept.pin"};
    QVERIFY(f.window->close());
    QVERIFY(QFile::exists(f.dir.path() + "/kept.pin"));
    QVERIFY(QFile::exists(QString::fromStdString(f.session.programIniPath)));
  }
}

void MainWindowTest::startWithAFileAsksForItsPassword() {
  QTemporaryDir dir;
  const QString file = dir.path() + "/site.pin";
  DatabaseRecord r;
  NewDatabaseDefaults(r, ImageLayout::For(DeviceModel::FourLine));
  r.password.set("pw");
  r.image.SetImageByte(1656, 44);
  QVERIFY(SaveDatabaseFile(file.toStdString(), r).ok);

  // Wrong password: the new database stays, with its panel.
  {
    Fixture f(file, false);
    QCOMPARE(f.dialogs.messages, QStringList({"[password]", "Hibás jelszó !!!"}));
    QCOMPARE(f.window->panelText(0), QString("Új"));
    QCOMPARE(f.get<QLineEdit>("MEcopos")->text(), QString("23"));
  }
  // The right one: the file is open and shown.
  ScriptedDialogs::Shared shared;
  Session session;
  session.connectionsIniPath = (dir.path() + "/tvconn.ini").toStdString();
  shared.passwords = {"pw"};
  TMainForm window(session, std::make_unique<ScriptedDialogs>(shared), file);
  QCOMPARE(window.panelText(0), file);
  QCOMPARE(window.findChild<QLineEdit*>("MEcopos")->text(), QString("44"));
  QVERIFY(!window.modifiedFlag());
  QCOMPARE(session.databaseFileName, file.toStdString());
  QVERIFY(session.fileDate.has_value());
}

void MainWindowTest::saveAndNewDatabase() {
  Fixture f;
  const QString file = f.dir.path() + "/new.pi1";
  f.typeAndLeave("MEcopos", "31");
  f.dialogs.saveNames = {file};
  f.get<QAction>("mnuSave")->trigger();
  QCOMPARE(f.dialogs.fileDialogs.at(0).title, QString("Pinkód adatok mentése"));
  QVERIFY(!f.window->modifiedFlag());
  QCOMPARE(f.window->panelText(0), file);
  DatabaseRecord back;
  QCOMPARE(int(LoadDatabaseFile(file.toStdString(), back, [] { return std::string(); }).status),
           int(LoadStatus::Ok));
  QCOMPARE(back.image.ImageByte(1656), uint8_t(31));

  // "Uj": page "&Alap", the question when modified, then a fresh database.
  f.get<QTabWidget>("PageControl")->setCurrentIndex(3);
  f.typeAndLeave("MEcopos", "32");
  f.dialogs.answers = {QMessageBox::No};
  f.get<QAction>("Uj1")->trigger();
  QCOMPARE(f.get<QTabWidget>("PageControl")->currentIndex(), 0);
  QCOMPARE(f.window->panelText(0), QString("Új"));
  QCOMPARE(f.get<QLineEdit>("MEcopos")->text(), QString("23"));
  QVERIFY(!f.window->modifiedFlag());
  QVERIFY(f.session.databaseFileName.empty());
}

void MainWindowTest::refreshShowsRepairs() {
  Fixture f;
  f.session.record.image.SetImageByte(1670, 12);  // record length of the 4-line model
  f.session.record.image.SetImageByte(1671, 44);  // 300 codes
  f.session.record.image.SetImageByte(1672, 1);
  f.dialogs.saveNames = {f.dir.path() + "/damaged.pin"};
  QVERIFY(f.window->saveDatabase());
  f.get<QAction>("Refresh")->trigger();
  QCOMPARE(f.dialogs.messages, QStringList({"Érvénytelen kódmennyiség! Az adatbázis sérült lehet.",
                                            "Jelzett kód hosszúság:12\nBeállítom 8-ra (maximum)"}));
  QCOMPARE(f.window->panelText(1), QString("300/8"));
  // The repair stored another length: the database is no longer what was saved.
  QVERIFY(f.window->modifiedFlag());
}

void MainWindowTest::helpWindow() {
  Fixture f;
  qputenv("TARVELO_HELP_DIR", QByteArray("/nonexistent"));
  f.get<QAction>("Tartalom1")->trigger();
  QCOMPARE(f.dialogs.messages, QStringList({"A súgó nem található: /nonexistent/index.html"}));
  qputenv("TARVELO_HELP_DIR", QByteArray(TARVELO_HELP_DIR));
  f.get<QAction>("Tartalom1")->trigger();
  auto* help = f.window->findChild<QWidget*>("HelpWindow");
  QVERIFY(help && help->isVisible());
  // Centred on the main window.
  const QPoint off = help->frameGeometry().center() - f.window->frameGeometry().center();
  QVERIFY2(off.manhattanLength() <= 4, qPrintable(QString("%1,%2").arg(off.x()).arg(off.y())));
  qunsetenv("TARVELO_HELP_DIR");
}

void MainWindowTest::panel0Shortening() {
  const QString path = "/alpha/beta/gamma/f.pin";
  QStringList steps;
  for (int room = 30; room >= 0; --room) {
    steps << ShortenPath(path, [room](const QString& s) { return s.size() <= room; });
  }
  steps.removeDuplicates();
  QCOMPARE(steps, QStringList({"/alpha/beta/gamma/f.pin", "/.../beta/gamma/f.pin",
                               "/.../gamma/f.pin", "/.../f.pin", ".../f.pin", "f.pin"}));
  QCOMPARE(ShortenPath("rel/x/f.pin", [](const QString& s) { return s.size() <= 9; }),
           QString(".../f.pin"));
  QCOMPARE(ShortenPath("Új", [](const QString&) { return false; }), QString("Új"));
}

// Whichever way the user tries to leave a refused entry, its page stays, the focus stays in
// it, the typed text stays and the image keeps the old value.
void MainWindowTest::aRefusedValueHoldsItsPageAndFocus() {
  for (int model : {0, 1}) {
    Fixture f;
    f.start(model, 0);
    auto* tabs = f.get<QTabWidget>("PageControl");
    auto* edit = f.get<QLineEdit>("MEcopos");
    auto* parity = f.get<RadioGroup>("RGbit");
    const int parityBefore = parity->itemIndex();
    const QString refusal = "Értéknek 0..255 között kell lenni !!!";
    struct Way {
      const char* name;
      std::function<void()> leave;
    };
    const Way ways[] = {
        {"tab click",
         [&] {
           QTabBar* bar = tabs->tabBar();
           QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
         }},
        {"tab mnemonic", [&] { QTest::keyClick(edit, Qt::Key_V, Qt::AltModifier); }},
        {"Ctrl+Tab", [&] { QTest::keyClick(edit, Qt::Key_Tab, Qt::ControlModifier); }},
        {"view item", [&] { f.get<QAction>("mnuVonalak")->trigger(); }},
        {"F5", [&] { f.get<QAction>("Refresh")->trigger(); }},
        {"save", [&] { f.get<QAction>("mnuSave")->trigger(); }},
        {"click elsewhere", [&] { QTest::mouseClick(parity->button(1), Qt::LeftButton); }},
        {"Tab", [&] { QTest::keyClick(edit, Qt::Key_Tab); }},
    };
    for (const Way& way : ways) {
      edit->setFocus(Qt::TabFocusReason);
      edit->setText("ab");
      f.dialogs.messages.clear();
      way.leave();
      QCoreApplication::processEvents();
      QVERIFY2(f.dialogs.messages == QStringList{refusal},
               qPrintable(QString(way.name) + ": " + f.dialogs.messages.join("|")));
      QVERIFY2(tabs->currentIndex() == 0, way.name);
      QVERIFY2(QApplication::focusWidget() == edit, way.name);
      QVERIFY2(edit->text() == "ab", way.name);
      QVERIFY2(f.byte(Field::CoPosition) == 23, way.name);
      QVERIFY2(f.dialogs.fileDialogs.isEmpty(), way.name);
      QVERIFY2(parity->itemIndex() == parityBefore, way.name);  // the click did nothing
    }
    QVERIFY(!f.window->modifiedFlag());
    // Mended, the value goes in and the page changes.
    edit->setText("42");
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(1).center());
    QCOMPARE(tabs->currentIndex(), 1);
    QCOMPARE(f.byte(Field::CoPosition), uint8_t(42));
    QCOMPARE(f.dialogs.messages, QStringList{refusal});
  }
}

// A 16-line database opened in the 4-line model (as a file named on the command line always
// is) is decoded with the 16-line map; read with the 4-line one, the code-table repair wrote
// into the 16-line timers. Without a version text, the model whose map reads it decides.
void MainWindowTest::aDatabaseIsShownInItsOwnModel() {
  QTemporaryDir dir;
  const QString file = dir.path() + "/site16.pi1";
  DatabaseRecord r;
  NewDatabaseDefaults(r, ImageLayout::For(DeviceModel::SixteenLine));
  r.image.SetBytes(kVersionTextOffset, "P4290");
  r.image.SetImageByte(1683, 44);  // CoPosition of the 16-line model
  QVERIFY(SaveDatabaseFile(file.toStdString(), r).ok);

  Fixture f(file, false);
  QCOMPARE(f.window->model(), DeviceModel::SixteenLine);
  QCOMPARE(f.get<QComboBox>("cbTipus")->currentIndex(), 1);
  QCOMPARE(f.dialogs.messages, QStringList({"[password]"}));  // and no code-table repair
  QVERIFY(f.session.record.image == r.image);
  QCOMPARE(f.get<QLineEdit>("MEcopos")->text(), QString("44"));
  QVERIFY(!f.window->modifiedFlag());

  // The 4-line version text switches back; a database without one that only the 16-line map
  // reads is shown in that model whichever is shown.
  r.image.SetBytes(kVersionTextOffset, "P4239");
  const QString file4 = dir.path() + "/site4.pi1";
  QVERIFY(SaveDatabaseFile(file4.toStdString(), r).ok);
  f.dialogs.openNames = {file4};
  f.window->openDatabase();
  QCOMPARE(f.window->model(), DeviceModel::FourLine);
  r.image.SetBytes(kVersionTextOffset, std::string(5, '\0'));
  QVERIFY(SaveDatabaseFile(file4.toStdString(), r).ok);
  f.setModel(1);
  f.dialogs.openNames = {file4};
  f.window->openDatabase();
  QCOMPARE(f.window->model(), DeviceModel::SixteenLine);

  // Nor is a database that was never downloaded read with a map that would repair it: a new
  // 16-line database opened in the 4-line model is shown in the 16-line one, untouched.
  f.setModel(0);
  const qsizetype shown = f.dialogs.messages.size();
  f.dialogs.openNames = {file4};
  f.window->openDatabase();
  QCOMPARE(f.window->model(), DeviceModel::SixteenLine);
  QCOMPARE(f.dialogs.messages.size(), shown + 1);  // the password question alone
  QVERIFY(f.session.record.image == r.image);
}

void MainWindowTest::qtTextsAndQuestionButtonsInHungarian() {
  QVERIFY2(InstallHungarianTexts(*qApp), "Qt's Hungarian catalogue is missing");
  Fixture f;
  QtDialogService real(f.window.get());
  QStringList buttons;
  int width = 0;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    for (auto which : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel})
      buttons << box->button(which)->text();
    width = box->width();
    box->button(QMessageBox::Cancel)->click();
  });
  const auto answer =
      real.Ask("Menti a változásokat ?", "Tarvelo",
               QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Question);
  QCOMPARE(answer, QMessageBox::Cancel);
  QCOMPARE(buttons, QStringList({"&Igen", "&Nem", "&Mégsem"}));
  // Wide enough for its caption beside the window's buttons.
  QVERIFY(width >= f.window->fontMetrics().horizontalAdvance("Tarvelo") + 100);
  // Qt's own texts: the edit boxes' context menu.
  std::unique_ptr<QMenu> menu(f.get<QLineEdit>("MEcopos")->createStandardContextMenu());
  QCOMPARE(menu->actions().value(0)->text().section('\t', 0, 0), QString("&Visszavonás"));
}

TARVELO_TEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
