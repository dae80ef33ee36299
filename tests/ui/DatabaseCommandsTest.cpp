// The file commands, the exchange files of the code and number pages, and the preferences
// and login dialogs, driven through the window as a user drives them.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <vector>

#include "files/DatabaseFile.h"
#include "files/ExchangeFiles.h"
#include "model/NewDatabase.h"
#include "tests/ui/Fixture.h"
#include "ui/CodesPage.h"
#include "ui/NumbersPage.h"
#include "ui/PasswordDialog.h"
#include "ui/PreferencesDialog.h"
#include "ui/Widgets.h"

using namespace tarvelo;

namespace {

QByteArray ReadFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}

// Runs `act` on the modal dialog of type T once it is shown.
template <typename T>
void WhenShown(std::function<void(T*)> act) {
  QTimer::singleShot(0, [act] {
    T* dialog = dynamic_cast<T*>(QApplication::activeModalWidget());
    if (!dialog) qFatal("no dialog shown");
    act(dialog);
  });
}

std::string CodeTableBytes(Fixture& f) {
  const ImageLayout& layout = f.window->layout();
  const int n = StoredCodeCount(f.session.record.image, layout);
  const int l = StoredRecordLength(f.session.record.image, layout);
  return f.session.record.image.Bytes(layout.Offset(Field::CodeTable), n * l);
}

}  // namespace

class DatabaseCommandsTest : public QObject {
  Q_OBJECT
 private slots:
  void saveQuestionAndDialogs();
  void failedLoadsKeepThePreviousDatabase();
  void aFailedSaveAsKeepsTheTarget();
  void theSaveQuestionComesExactlyWhenTheDatabaseChanged_data();
  void theSaveQuestionComesExactlyWhenTheDatabaseChanged();
  void aModelTheFileCannotProveIsAsked_data();
  void aModelTheFileCannotProveIsAsked();
  void codeFilesRoundTrip_data();
  void codeFilesRoundTrip();
  void refusedCodeFilesChangeNothing();
  void codeExportsWriteWhatTheGridShows();
  void callTxtImportAndExport_data();
  void callTxtImportAndExport();
  void preferencesKeepTheTableAndStoreTheHeader();
  void loginDialog();
};

void DatabaseCommandsTest::saveQuestionAndDialogs() {
  Fixture f;
  QCOMPARE(f.window->DatabaseOpenOptions().title, QString("ZEN-16 adatbázis megnyitás"));
  QCOMPARE(f.window->DatabaseOpenOptions().filter,
           QString("Pinkód adatbázis (*.pi1 *.pin);;Minden file (*)"));
  QCOMPARE(f.window->DatabaseSaveOptions().title, QString("Pinkód adatok mentése"));
  QCOMPARE(f.window->DatabaseSaveOptions().defaultSuffix, QString("pin"));

  // Yes to the question, then a cancelled save dialog: nothing was saved, so the command
  // stops rather than drop the edit; "Nem" is the answer that drops it.
  f.typeAndLeave("MEcopos", "31");
  QVERIFY(f.window->modifiedFlag());
  f.dialogs.answers = {QMessageBox::Yes};
  f.get<QAction>("Uj1")->trigger();
  QCOMPARE(f.dialogs.messages, QStringList({"Tarvelo: Menti a változásokat ?"}));
  QCOMPARE(f.dialogs.fileDialogs.size(), 1);
  QCOMPARE(f.get<QLineEdit>("MEcopos")->text(), QString("31"));
  QVERIFY(f.window->modifiedFlag());
  f.dialogs.answers = {QMessageBox::No};
  f.get<QAction>("Uj1")->trigger();
  QCOMPARE(f.get<QLineEdit>("MEcopos")->text(), QString("23"));
  QVERIFY(!f.window->modifiedFlag());
  QVERIFY(QDir(f.dir.path()).entryList(QDir::Files).isEmpty());

  // An exchange import changes the open dialog, an export the save dialog.
  f.window->showPage(PageId::Numbers);
  f.get<QAction>("ImportCall1")->trigger();  // cancelled
  QCOMPARE(f.window->DatabaseOpenOptions().title, QString("Pinkód adatbázis megnyitás"));
  QCOMPARE(f.window->DatabaseOpenOptions().filter,
           QString("Pinkód adatbázis (*.pi4 *.pin);;Minden file (*)"));
  QCOMPARE(f.window->DatabaseSaveOptions().title, QString("Pinkód adatok mentése"));
  f.get<QAction>("ExportCall1")->trigger();
  QCOMPARE(f.window->DatabaseSaveOptions().title, QString("Pinkód adatbázis mentése"));
  QCOMPARE(f.window->DatabaseSaveOptions().defaultSuffix, QString("pin"));
  const auto& asked = f.dialogs.fileDialogs;
  QCOMPARE(asked.at(asked.size() - 2).title, QString("Pinkód számok importálása"));
  QCOMPARE(asked.at(asked.size() - 2).filter,
           QString("Pinkód szabad számok (*.txt);;Minden file (*)"));
  QCOMPARE(asked.last().title, QString("Pinkód számok exportálása"));

  // A save that fails keeps the flag and says why.
  f.typeAndLeave("MEcopos", "32");
  f.dialogs.saveNames = {f.dir.path() + "/nincs/x.pi1"};
  f.dialogs.messages.clear();
  f.get<QAction>("SaveAs1")->trigger();
  QVERIFY(f.window->modifiedFlag());
  QCOMPARE(f.dialogs.messages.size(), 1);
  QVERIFY(f.dialogs.messages[0].startsWith("A fájl nem írható"));
}

void DatabaseCommandsTest::failedLoadsKeepThePreviousDatabase() {
  Fixture f;
  const QString a = f.dir.path() + "/a.pi1";
  const QString b = f.dir.path() + "/b.pi1";
  f.typeAndLeave("MEcopos", "31");
  f.dialogs.saveNames = {a};
  f.get<QAction>("mnuSave")->trigger();
  DatabaseRecord other;
  NewDatabaseDefaults(other, f.window->layout());
  other.password.set("titok");
  QVERIFY(SaveDatabaseFile(b.toStdString(), other).ok);
  const QByteArray bBytes = ReadFile(b);
  const QString junk = f.dir.path() + "/junk.pi1";
  WriteFile(junk, QByteArray(9227, 'x'));

  struct Case {
    QString file;
    QString password;
    QString message;  // its start
  } cases[] = {{b, "Titok", "Hibás jelszó !!!"},
               {junk, "", "File formátum nem Tarvelo1 V2 típusú !!!"},
               {f.dir.path(), "", "A fájl nem"}};
  for (const Case& c : cases) {
    f.typeAndLeave("MEcopos", "33");
    f.dialogs.answers = {QMessageBox::No};
    f.dialogs.openNames = {c.file};
    f.dialogs.passwords = {c.password};
    f.dialogs.messages.clear();
    f.get<QAction>("Open1")->trigger();
    QVERIFY2(f.dialogs.messages.last().startsWith(c.message), qPrintable(c.file));
    QCOMPARE(f.window->panelText(0), a);
    QCOMPARE(f.session.databaseFileName, a.toStdString());
    // The edit is still in the open database, which no longer is what was saved.
    QVERIFY(f.window->modifiedFlag());
  }
  // The next save goes to the previous file, not to the refused one.
  f.typeAndLeave("MEcopos", "34");
  f.get<QAction>("mnuSave")->trigger();
  QCOMPARE(ReadFile(b), bBytes);
  DatabaseRecord back;
  QCOMPARE(int(LoadDatabaseFile(a.toStdString(), back, [] { return std::string(); }).status),
           int(LoadStatus::Ok));
  QCOMPARE(back.image.ImageByte(f.window->layout().Offset(Field::CoPosition)), uint8_t(34));
}

// The save went nowhere, so the open database's file stays its target: the next save writes
// there and the status bar still names it.
void DatabaseCommandsTest::aFailedSaveAsKeepsTheTarget() {
  Fixture f;
  const QString a = f.dir.path() + "/a.pin";
  f.dialogs.saveNames = {a};
  QVERIFY(f.window->saveDatabase());
  f.typeAndLeave("MEcopos", "31");
  const QString refused = f.dir.path() + "/nincs/b.pin";
  f.dialogs.saveNames = {refused};
  f.get<QAction>("SaveAs1")->trigger();
  QCOMPARE(f.dialogs.messages.size(), 1);
  QCOMPARE(f.window->panelText(0), a);
  QCOMPARE(f.session.databaseFileName, a.toStdString());
  QVERIFY(f.window->modifiedFlag());
  f.get<QAction>("mnuSave")->trigger();
  QCOMPARE(f.dialogs.fileDialogs.size(), 2);  // no dialog for the plain save
  QCOMPARE(f.dialogs.messages.size(), 1);
  QVERIFY(!f.window->modifiedFlag());
  DatabaseRecord back;
  QCOMPARE(int(LoadDatabaseFile(a.toStdString(), back, [] { return std::string(); }).status),
           int(LoadStatus::Ok));
  QCOMPARE(back.image.ImageByte(f.window->layout().Offset(Field::CoPosition)), uint8_t(31));
  // What the save dialog writes for a name typed without extension, the open dialog lists.
  const FileDialogOptions open = f.window->DatabaseOpenOptions();
  const QString patterns = open.filter.section('(', 1).section(')', 0, 0);
  QVERIFY(QDir::match(patterns, "site." + f.window->DatabaseSaveOptions().defaultSuffix));
  QVERIFY(QDir::match(patterns, "site.pi1"));
}

void DatabaseCommandsTest::theSaveQuestionComesExactlyWhenTheDatabaseChanged_data() {
  QTest::addColumn<int>("model");
  QTest::newRow("4-line") << 0;
  QTest::newRow("16-line") << 1;
}

// After a save, leaving the code grid or a radio group of "&Alap" changes nothing, so Open,
// New and closing ask nothing. What a page still holds (a code being typed, a number added
// to the list shown) and the connection name are changes.
void DatabaseCommandsTest::theSaveQuestionComesExactlyWhenTheDatabaseChanged() {
  QFETCH(int, model);
  const QString question = "Tarvelo: Menti a változásokat ?";
  Fixture f;
  f.start(model, static_cast<int>(PageId::Codes));
  const QString db = f.dir.path() + "/site.pin";
  auto* grid = f.codesPage().view();
  const auto typeCode = [&](const char* digits) {
    grid->setFocus(Qt::TabFocusReason);
    grid->setCurrentIndex(grid->model()->index(0, 1));
    for (const char* c = digits; *c; ++c) QTest::keyClick(QApplication::focusWidget(), *c);
  };
  typeCode("123456");
  f.dialogs.saveNames = {db};
  f.get<QAction>("mnuSave")->trigger();
  QVERIFY(!f.window->modifiedFlag());
  struct Focus {
    const char* name;
    std::function<void()> take;
  };
  const Focus places[] = {
      {"code grid",
       [&] {
         f.window->showPage(PageId::Codes);
         grid->setFocus(Qt::TabFocusReason);
       }},
      {"radio button",
       [&] {
         f.window->showPage(PageId::General);
         auto* speed = f.get<RadioGroup>("RGspeed");
         speed->button(speed->itemIndex())->setFocus(Qt::TabFocusReason);
         QCoreApplication::processEvents();
         f.get<RadioGroup>("RGmod")->button(0)->setFocus(Qt::TabFocusReason);
       }},
  };
  const char* const commands[] = {"Open1", "Uj1", "close"};
  for (const Focus& place : places) {
    for (const char* command : commands) {
      f.dialogs.answers.clear();
      f.dialogs.passwords = {""};
      f.dialogs.openNames = {db};
      f.dialogs.messages.clear();
      place.take();
      QCoreApplication::processEvents();
      if (QByteArray(command) == "close") {
        QVERIFY(f.window->close());
        f.window->show();
        QApplication::setActiveWindow(f.window.get());
        QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
      } else {
        f.get<QAction>(command)->trigger();
      }
      QVERIFY2(!f.dialogs.messages.contains(question),
               qPrintable(QString(place.name) + ", " + command));
      // Back to the saved database for the next round.
      f.dialogs.openNames = {db};
      f.dialogs.passwords = {""};
      f.window->openDatabase();
      QVERIFY(!f.window->modifiedFlag());
    }
  }

  // A code typed but not yet stored, a number on the list shown, a connection name.
  const std::vector<std::function<void()>> changes = {
      [&] {
        f.window->showPage(PageId::Codes);
        typeCode("65");
      },
      [&] {  // the menu leaves the focus where it was, outside the page
        f.window->showPage(PageId::Numbers);
        f.get<QComboBox>("cbTipus")->setFocus(Qt::TabFocusReason);
        const QString calls = f.dir.path() + "/CALL.TXT";
        WriteFile(calls, "0612345\r\n");
        f.dialogs.openNames = {calls};
        f.dialogs.answers = {QMessageBox::Yes};
        f.get<QAction>("ImportCall1")->trigger();
        QCOMPARE(f.numbersPage().numbers().items().size(), size_t(1));
      },
      [&] { f.applyConnection("Iroda", "", "Iroda"); },
  };
  for (size_t i = 0; i < changes.size(); ++i) {
    changes[i]();
    QCoreApplication::processEvents();
    f.dialogs.messages.clear();
    f.dialogs.answers = {QMessageBox::Cancel};
    QVERIFY(!f.window->close());
    QVERIFY2(f.dialogs.messages == QStringList{question}, qPrintable(QString::number(i)));
    f.dialogs.answers = {QMessageBox::No};
    f.dialogs.openNames = {db};
    f.dialogs.passwords = {""};
    f.window->openDatabase();
    QVERIFY(!f.window->modifiedFlag());
  }
}

void DatabaseCommandsTest::aModelTheFileCannotProveIsAsked_data() {
  QTest::addColumn<int>("shown");
  QTest::newRow("4-line shown") << 0;
  QTest::newRow("16-line shown") << 1;
}

// A database without version text that neither memory map reads as stored: the user says
// which model it is, whichever the window shows; Cancel leaves the open database as it was.
void DatabaseCommandsTest::aModelTheFileCannotProveIsAsked() {
  QFETCH(int, shown);
  Fixture f;
  f.start(shown, 0);
  const QString open = f.dir.path() + "/open.pin";
  f.typeAndLeave("MEcopos", "31");
  f.dialogs.saveNames = {open};
  QVERIFY(f.window->saveDatabase());
  const DatabaseRecord before = f.session.record;
  const QString unknown = f.dir.path() + "/unknown.pin";
  DatabaseRecord zeros;
  QVERIFY(SaveDatabaseFile(unknown.toStdString(), zeros).ok);

  f.dialogs.messages.clear();
  f.dialogs.openNames = {unknown};
  f.dialogs.passwords = {""};
  f.dialogs.answers = {QMessageBox::Cancel};
  f.get<QAction>("Open1")->trigger();
  QCOMPARE(f.dialogs.messages.size(), 2);  // the password, then the model
  const QString asked = f.dialogs.messages[1];
  QVERIFY2(asked.contains("4 vonalas") && asked.contains("16 vonalas") &&
               asked.contains("nincs verziószövege"),
           qPrintable(asked));
  QVERIFY(f.session.record == before);
  QCOMPARE(f.session.databaseFileName, open.toStdString());
  QCOMPARE(f.window->panelText(0), open);
  QCOMPARE(int(f.window->model()), shown);
  QCOMPARE(f.get<QLineEdit>("MEcopos")->text(), QString("31"));

  const std::pair<QMessageBox::StandardButton, DeviceModel> answers[] = {
      {QMessageBox::Yes, DeviceModel::FourLine}, {QMessageBox::No, DeviceModel::SixteenLine}};
  for (const auto& [answer, model] : answers) {
    f.dialogs.openNames = {unknown};
    f.dialogs.passwords = {""};
    f.dialogs.answers = {answer};
    f.get<QAction>("Open1")->trigger();
    QCOMPARE(f.window->model(), model);
    QCOMPARE(f.session.databaseFileName, unknown.toStdString());
    QVERIFY(f.session.record.image == zeros.image);
    QVERIFY(!f.window->modifiedFlag());
  }
}

void DatabaseCommandsTest::codeFilesRoundTrip_data() {
  QTest::addColumn<int>("model");
  QTest::newRow("4-line") << 0;
  QTest::newRow("16-line") << 1;
}

// Codes typed into one database travel through both code files and the database file into
// another and arrive whole.
void DatabaseCommandsTest::codeFilesRoundTrip() {
  QFETCH(int, model);
  Fixture f;
  f.start(model, static_cast<int>(PageId::Codes));
  const QString text = f.dir.path() + "/in.txt";
  WriteFile(text, "1234\tHelyi\t\t\t\r\n654321\tx\r\n12\r\n");
  f.dialogs.openNames = {text};
  f.get<QAction>("ImportTxt1")->trigger();
  CodesPage& page = f.codesPage();
  QCOMPARE(page.grid().rowCount(), 4);
  QCOMPARE(StoredRecordLength(f.session.record.image, f.window->layout()), 7);
  QCOMPARE(f.window->panelText(1), QString("3/6"));
  QVERIFY(f.window->modifiedFlag());
  page.setRight(2, 3, kNo);  // long-distance withdrawn from the second code
  page.setRight(3, 5, kNo);
  const QString dat = f.dir.path() + "/PIN.DAT";
  const QString out = f.dir.path() + "/out.txt";
  f.dialogs.saveNames = {dat, out};
  f.get<QAction>("ExportPinDat1")->trigger();
  f.get<QAction>("ExportTxt1")->trigger();
  QCOMPARE(f.dialogs.fileDialogs.at(1).title, QString("Pinkód kódok exportálása"));
  QCOMPARE(f.dialogs.fileDialogs.at(1).filter, QString("Pinkód kódok (*.dat);;Minden file (*)"));
  QCOMPARE(f.dialogs.fileDialogs.at(2).filter, QString("Szöveg file (*.txt);;Minden file (*)"));
  const QByteArray datBytes = ReadFile(dat);
  QCOMPARE(datBytes.size(), 25);
  QCOMPARE(datBytes.left(3), QByteArray("\x07\x03\x00", 3));
  QCOMPARE(datBytes.mid(3 + 7, 7), QByteArray("654321\x0D"));
  QCOMPARE(ReadFile(out), QByteArray("1234\tHelyi\tT\xE1v\tMobil\tNemz\r\n"
                                     "654321\tHelyi\t\tMobil\tNemz\r\n"
                                     "12\tHelyi\tT\xE1v\tMobil\t\r\n"));
  const std::string table = CodeTableBytes(f);
  const QString db = f.dir.path() + "/codes.pi1";
  f.dialogs.saveNames = {db};
  f.get<QAction>("mnuSave")->trigger();

  // A fresh database takes the binary list back exactly, the text list with every right.
  f.start(model, static_cast<int>(PageId::Codes));
  f.dialogs.openNames = {dat};
  f.get<QAction>("ImportPinDat1")->trigger();
  QCOMPARE(CodeTableBytes(f), table);
  f.dialogs.openNames = {out};
  f.get<QAction>("ImportTxt1")->trigger();
  QCOMPARE(page.grid().row(2).code, std::string("654321"));
  QCOMPARE(page.grid().row(2).rights[1], std::string(kYes));
  f.dialogs.answers = {QMessageBox::No};
  f.dialogs.openNames = {db};
  f.dialogs.passwords = {""};
  f.get<QAction>("Open1")->trigger();
  QCOMPARE(CodeTableBytes(f), table);
  QCOMPARE(page.grid().row(3).code, std::string("12    "));
}

void DatabaseCommandsTest::refusedCodeFilesChangeNothing() {
  Fixture f;
  f.start(0, static_cast<int>(PageId::Codes));
  const QString db = f.dir.path() + "/db.pi1";
  f.dialogs.saveNames = {db};
  f.get<QAction>("mnuSave")->trigger();
  const QByteArray dbBytes = ReadFile(db);
  const ConfigImage image = f.session.record.image;
  const int rows = f.codesPage().grid().rowCount();
  const struct {
    const char* action;
    QByteArray bytes;
  } cases[] = {
      {"ImportPinDat1", QByteArray("\x00\x05\x00", 3) + QByteArray(40, '1')},
      {"ImportPinDat1", QByteArray("\x07\x03\x00", 3) + QByteArray(14, '1')},  // 2 of 3 codes
      {"ImportPinDat1", QByteArray("\x05\x01\x03", 3) + QByteArray(3845, '1')},
      {"ImportTxt1", "123456789\r\n"},
      {"ImportTxt1", "1\r\n"},
  };
  for (const auto& c : cases) {
    const QString file = f.dir.path() + "/bad";
    WriteFile(file, c.bytes);
    f.dialogs.openNames = {file};
    f.dialogs.messages.clear();
    f.get<QAction>(c.action)->trigger();
    QCOMPARE(f.dialogs.messages.size(), 1);
    QVERIFY2(f.dialogs.messages[0].contains("!!!"), qPrintable(f.dialogs.messages[0]));
    QVERIFY(f.session.record.image == image);
    QCOMPARE(f.codesPage().grid().rowCount(), rows);
    QVERIFY(!f.window->modifiedFlag());
  }
  f.get<QAction>("mnuSave")->trigger();
  QCOMPARE(ReadFile(db), dbBytes);
}

// Both code files write the codes the grid shows, a code still being typed among them; the
// one blank row of a table without codes is none, going out or coming in.
void DatabaseCommandsTest::codeExportsWriteWhatTheGridShows() {
  Fixture f;
  f.start(0, static_cast<int>(PageId::Codes));
  const QString txt = f.dir.path() + "/kodok.txt";
  const QString dat = f.dir.path() + "/PIN.DAT";
  CodeGridView* grid = f.codesPage().view();
  grid->setFocus(Qt::TabFocusReason);
  grid->followColumn(1);
  grid->setCurrentIndex(grid->model()->index(0, 1));
  QCoreApplication::processEvents();
  for (char c : std::string("4321")) QTest::keyClick(QApplication::focusWidget(), c);
  f.dialogs.saveNames = {txt};
  f.get<QAction>("ExportTxt1")->trigger();
  QCOMPARE(ReadFile(txt), QByteArray("4321\tHelyi\tT\xE1v\tMobil\tNemz\r\n"));

  f.start(0, static_cast<int>(PageId::Codes));
  f.dialogs.saveNames = {dat, txt};
  f.get<QAction>("ExportPinDat1")->trigger();
  f.get<QAction>("ExportTxt1")->trigger();
  const QByteArray none("\x07\x00\x00\x00", 4);
  QCOMPARE(ReadFile(dat), none);
  QCOMPARE(ReadFile(txt), QByteArray());

  // That empty file over a table of codes leaves no code.
  const QString codes = f.dir.path() + "/in.txt";
  WriteFile(codes, "1234\r\n5678\r\n");
  f.dialogs.openNames = {codes, dat};
  f.get<QAction>("ImportTxt1")->trigger();
  QCOMPARE(StoredCodeCount(f.session.record.image, f.window->layout()), 2);
  f.get<QAction>("ImportPinDat1")->trigger();
  QCOMPARE(StoredCodeCount(f.session.record.image, f.window->layout()), 0);
  QCOMPARE(StoredRecordLength(f.session.record.image, f.window->layout()), 7);
}

void DatabaseCommandsTest::callTxtImportAndExport_data() {
  QTest::addColumn<int>("model");
  QTest::addColumn<int>("capacity");
  QTest::newRow("4-line") << 0 << 208;
  QTest::newRow("16-line") << 1 << 192;
}

void DatabaseCommandsTest::callTxtImportAndExport() {
  QFETCH(int, model);
  QFETCH(int, capacity);
  Fixture f;
  f.start(model, static_cast<int>(PageId::Numbers));
  const NumbersPage& page = f.numbersPage();
  const QString in = f.dir.path() + "/CALL.TXT";
  QByteArray lines;
  for (int i = 0; i < 250; ++i) lines += QByteArray::number(100000 + i) + "\r\n";
  WriteFile(in, lines);
  // The question names the buttons it is answered with.
  const QString question =
      "Megerősítés: Igen: hozzáfűzés (a fájl számai a lista végére kerülnek)\n"
      "Nem: felülírás (a lista helyére a fájl számai kerülnek)\nMégsem: nem olvassa be";
  f.dialogs.openNames = {in};
  f.dialogs.answers = {QMessageBox::Yes};
  f.get<QAction>("ImportCall1")->trigger();
  QCOMPARE(int(page.numbers().items().size()), capacity);
  QCOMPARE(f.dialogs.messages,
           QStringList({question, QString("Maximum %1 szám lehet a listában, ezért néhány szám "
                                          "beolvasatlan maradt!")
                                      .arg(capacity)}));
  QCOMPARE(f.get<QLabel>("Label50")->text(), QString("Bejegyzések:%1/%1").arg(capacity));

  // Cancel changes nothing.
  const auto items = page.numbers().items();
  f.dialogs.openNames = {in};
  f.dialogs.answers = {QMessageBox::Cancel};
  f.get<QAction>("ImportCall1")->trigger();
  QCOMPARE(page.numbers().items(), items);

  const QString out = f.dir.path() + "/out.txt";
  f.dialogs.saveNames = {out};
  f.get<QAction>("ExportCall1")->trigger();
  QCOMPARE(ReadFile(out).left(18), QByteArray("100000          \r\n"));
  QCOMPARE(ReadFile(out).size(), capacity * 18);

  // Nor does No with a file that cannot be read, or not whole, or holds a line too long
  // for a number: the list is not emptied for nothing.
  const QString tooLong = f.dir.path() + "/long.txt";
  WriteFile(tooLong, "0612345\r12345678901234567\r");
  const QString huge = f.dir.path() + "/huge.txt";
  WriteFile(huge, QByteArray(int(kTextFileMaxBytes) + 1, '1'));
  const struct {
    QString file;
    QString says;
  } refused[] = {
      {f.dir.path() + "/nincs.txt", "Megnyitási hiba!"},
      {tooLong,
       "A fájl 2. sora 17 karakter hosszú; egy szám legfeljebb 16 karakter lehet !!! "
       "A lista nem változott."},
      {huge,
       "A fájl nagyobb 1 MiB-nál, ezért nem olvasható be egészben !!! A lista nem "
       "változott."},
  };
  for (const auto& r : refused) {
    f.dialogs.openNames = {r.file};
    f.dialogs.answers = {QMessageBox::No};
    f.dialogs.messages.clear();
    f.get<QAction>("ImportCall1")->trigger();
    QCOMPARE(f.dialogs.messages, QStringList({question, r.says}));
    QCOMPARE(page.numbers().items(), items);
  }

  // What was exported comes back, and through a save and a reload too.
  f.dialogs.openNames = {out};
  f.dialogs.answers = {QMessageBox::No};
  f.get<QAction>("ImportCall1")->trigger();
  QCOMPARE(page.numbers().items(), items);
  const QString db = f.dir.path() + "/numbers.pi1";
  f.dialogs.saveNames = {db};
  f.get<QAction>("mnuSave")->trigger();
  f.start(model, static_cast<int>(PageId::Numbers));
  f.dialogs.answers = {QMessageBox::No};
  f.dialogs.openNames = {db};
  f.dialogs.passwords = {""};
  f.get<QAction>("Open1")->trigger();
  QCOMPARE(page.numbers().items(), items);
}

void DatabaseCommandsTest::preferencesKeepTheTableAndStoreTheHeader() {
  Fixture f;
  ConfigImage& image = f.session.record.image;
  const ImageLayout& layout = f.window->layout();
  StoreRecordLength(image, layout, 3);
  StoreCodeCount(image, layout, 50);
  f.window->DecodeImage();
  f.session.record.site.set("Iroda");
  const ConfigImage before = image;

  // Opening and closing: 50 two-digit codes stay 50, the grid keeps its 51 rows.
  WhenShown<TPrefer>([](TPrefer* d) {
    QCOMPARE(d->windowTitle(), QString("Preferenciák"));
    QCOMPARE(d->findChild<QSpinBox*>("SEkodlen")->value(), 2);
    QCOMPARE(d->findChild<QSpinBox*>("SEkoddb")->value(), 50);
    // The limit for two-digit codes: the arrows go no higher.
    d->findChild<QSpinBox*>("SEkoddb")->stepBy(1000);
    QCOMPARE(d->findChild<QSpinBox*>("SEkoddb")->value(), 100);
    d->findChild<QSpinBox*>("SEkoddb")->setValue(50);
    QCOMPARE(d->findChild<QLineEdit*>("Esite")->text(), QString("Iroda"));
    QVERIFY(d->findChild<QLineEdit*>("Edatetime")->text().isEmpty());  // nothing loaded
    QVERIFY(!d->findChild<QLineEdit*>("Edatetime")->isEnabled());
    d->close();
  });
  f.get<QAction>("Preferencik1")->trigger();
  QVERIFY(image == before);
  QCOMPARE(f.codesPage().grid().rowCount(), 51);

  // Length 6 -> 8 with 400 codes lowers the count to 341; a long site is cut to 255.
  StoreRecordLength(image, layout, 7);
  StoreCodeCount(image, layout, 400);
  f.session.fileDate = std::chrono::system_clock::now();
  WhenShown<TPrefer>([](TPrefer* d) {
    QVERIFY(!d->findChild<QLineEdit*>("Edatetime")->text().isEmpty());
    d->findChild<QSpinBox*>("SEkodlen")->setValue(8);
    // 400 codes do not fit at eight digits: lowering the count is the user's choice.
    QCOMPARE(d->findChild<QSpinBox*>("SEkoddb")->value(), 400);
    d->findChild<QSpinBox*>("SEkoddb")->setValue(341);
    d->findChild<QLineEdit*>("Esite")->setText(QString(300, 'a'));
    d->findChild<QLineEdit*>("Epassw1")->setText("új");
    d->findChild<QPushButton*>("OKBtn")->click();
  });
  f.get<QAction>("Preferencik1")->trigger();
  QCOMPARE(StoredCodeCount(image, layout), 341);
  QCOMPARE(StoredRecordLength(image, layout), 9);
  QCOMPARE(f.codesPage().grid().rowCount(), 342);
  QCOMPARE(f.session.record.site.text(), std::string(255, 'a'));
  QCOMPARE(f.session.record.password.text(), std::string("\xFAj"));
  QVERIFY(f.window->modifiedFlag());
}

void DatabaseCommandsTest::loginDialog() {
  QWidget parent;
  QtDialogService service(&parent);
  for (int round = 0; round < 2; ++round) {
    WhenShown<TPasswordDlg>([](TPasswordDlg* d) {
      QCOMPARE(d->windowTitle(), QString("Tarvelo beléptetö"));
      QVERIFY(d->password()->text().isEmpty());
      QCOMPARE(d->password()->echoMode(), QLineEdit::Password);
      QVERIFY(!(d->windowFlags() & Qt::WindowCloseButtonHint));
      QVERIFY(d->windowFlags() & Qt::WindowStaysOnTopHint);
      QVERIFY(d->font().bold());
      QTest::keyClicks(d->password(), "titok");
      // How it is closed does not matter: the text counts.
      d->findChild<QPushButton*>("CancelBtn")->click();
    });
    QCOMPARE(service.Password(), QString("titok"));
  }
}

TARVELO_TEST_MAIN(DatabaseCommandsTest)
#include "DatabaseCommandsTest.moc"
