// An edit survives a save that fails: the user is told, the window still counts the edit as
// unsaved, and a later save that can succeed writes it.
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <functional>
#include <vector>

#include "files/DatabaseFile.h"
#include "tests/ui/Fixture.h"

using namespace tarvelo;

class SaveFailureTest : public QObject {
  Q_OBJECT
 private slots:
  void editSurvivesAFailedSave();
  void aFailedSaveStopsWhatAskedForIt();
};

namespace {

// A folder nobody may create files in. The superuser may write into any folder whatever its
// mode, so for it a place of the kernel's stands in.
QString ReadOnlyFolder(const QTemporaryDir& dir) {
  if (::geteuid() == 0) return "/proc";
  const QString folder = dir.path() + "/locked";
  QDir().mkpath(folder);
  ::chmod(folder.toLocal8Bit().constData(), 0555);
  return folder;
}

uint8_t StoredCoPosition(const QString& file) {
  DatabaseRecord loaded;
  if (LoadDatabaseFile(file.toStdString(), loaded, [] { return std::string(); }).status !=
      LoadStatus::Ok)
    return 0;
  return loaded.image.ImageByte(ImageLayout::For(DeviceModel::FourLine).Offset(Field::CoPosition));
}

}  // namespace

void SaveFailureTest::editSurvivesAFailedSave() {
  Fixture f;
  f.start(0, static_cast<int>(PageId::General));
  f.typeAndLeave("MEcopos", "42");
  QCOMPARE(f.byte(Field::CoPosition), uint8_t(42));
  QVERIFY(f.window->modifiedFlag());

  const QString locked = ReadOnlyFolder(f.dir);
  const QString refused = locked + "/site.pin";
  f.dialogs.saveNames.push_back(refused);
  f.window->saveDatabase();
  QCOMPARE(f.dialogs.messages.size(), 1);
  QVERIFY2(f.dialogs.messages.last().contains("site.pin"), qPrintable(f.dialogs.messages.last()));
  QVERIFY(f.window->modifiedFlag());
  QCOMPARE(f.byte(Field::CoPosition), uint8_t(42));
  QVERIFY(!QFileInfo::exists(refused));

  // Saving to the same name again fails the same way and loses nothing.
  f.window->saveDatabase();
  QCOMPARE(f.dialogs.messages.size(), 2);
  QVERIFY(f.window->modifiedFlag());

  // Once the folder takes files again, the plain save writes the edit.
  if (::geteuid() != 0) {
    ::chmod(locked.toLocal8Bit().constData(), 0755);
    f.window->saveDatabase();
    QCOMPARE(f.dialogs.messages.size(), 2);
    QVERIFY(!f.window->modifiedFlag());
    QCOMPARE(StoredCoPosition(refused), uint8_t(42));
    f.typeAndLeave("MEcopos", "43");
    QVERIFY(f.window->modifiedFlag());
  }

  // "Mentés másként" to a folder that takes it saves the edit too.
  const QString elsewhere = f.dir.path() + "/elsewhere.pin";
  f.dialogs.saveNames.push_back(elsewhere);
  f.window->saveDatabaseAs();
  QVERIFY(!f.window->modifiedFlag());
  QCOMPARE(StoredCoPosition(elsewhere), f.byte(Field::CoPosition));
}

// "Igen" to the save question, then a save that fails: the command that asked (New, Open,
// closing the window) stops, so the edit is not thrown away after all.
void SaveFailureTest::aFailedSaveStopsWhatAskedForIt() {
  Fixture f;
  f.start(0, static_cast<int>(PageId::General));
  const QString refused = ReadOnlyFolder(f.dir) + "/site.pin";
  struct Case {
    const char* name;
    std::function<void()> command;
  };
  const std::vector<Case> cases = {
      {"new", [&] { f.window->newDatabase(); }},
      {"open", [&] { f.window->openDatabase(); }},
      {"close", [&] { f.window->close(); }},
  };
  for (const Case& c : cases) {
    f.typeAndLeave("MEcopos", "42");
    f.dialogs.answers.push_back(QMessageBox::Yes);
    f.dialogs.saveNames.push_back(refused);
    const qsizetype before = f.dialogs.messages.size();
    c.command();
    QVERIFY2(f.window->isVisible(), c.name);
    QVERIFY2(f.window->modifiedFlag(), c.name);
    QCOMPARE(f.byte(Field::CoPosition), uint8_t(42));
    QVERIFY2(f.dialogs.fileDialogs.size() >= 1, c.name);
    QCOMPARE(f.dialogs.messages.size(), before + 2);  // the question, then the failure
    QVERIFY2(f.dialogs.openNames.empty(), c.name);
  }
}

TARVELO_TEST_MAIN(SaveFailureTest)
#include "SaveFailureTest.moc"
