#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <map>

#include "model/Lines.h"
#include "model/Settings.h"
#include "tests/ui/Fixture.h"
#include "ui/NumberPlanPage.h"
#include "ui/Widgets.h"

using namespace tarvelo;

namespace {
QString Nn(int n) {
  return QString("%1").arg(n, 2, 10, QChar('0'));
}

// A row's place: "general.parity", "numberPlan.exceptions", ".dial".
std::string PlaceOf(const SettingRow& row) {
  const char* key = row.key ? row.key : ListOf(row.list).key;
  return std::string(row.object) + "." + key;
}

// The control showing each setting of the settings pages; for a list, its first entry's. A
// byte box is found by its row. A new setting on these pages needs a line here.
const std::map<std::string, const char*> kControlOf = {
    {"general.smdrSpeed", "RGspeed"},
    {"general.parity", "RGbit"},
    {"general.smdrMode", "RGmod"},
    {"general.below20h", "RG20h"},
    {"general.coCharCount", "CBcokar"},
    {"general.recordTerminator", "MErzk"},
    {"general.numberTerminator", "MEszamz"},
    {"general.pinEnable", "chkPinEna"},
    {"general.dstChange", "chkDSTena"},
    {"general.dosUpload", "chkDOSena"},
    {".coNumber", "MEco01"},
    {".dial", "RGdial01"},
    {".seize", "RGline01"},
    {".timerSet", "RGtime01"},
    {".subLine", "CBalv01"},
    {".callIn", "CBbeh01"},
    {"numberPlan.exceptions", "lbKiv"},
    {"numberPlan.mobilePrefixes", "edMP01"},
    {"numberPlan.internationalPrefixes", "edIP01"},
    {"callIn.number", "edBehiv"},
    {"callIn.foreign", "chkIntGW"},
    {"callIn.national", "chkNatGW"},
    {"callIn.forbiddenAreaCodes", "lbGW"},
};

// The text the user reads for a control: a group's title, a check box's own text, or the
// label that names it (the label whose buddy it is, else the label of its grid row: the
// second timer set's boxes stand beside the first set's).
QString ShownCaption(QWidget* page, QWidget* control) {
  if (auto* group = qobject_cast<QGroupBox*>(control); group && !group->title().isEmpty())
    return group->title();
  if (auto* box = qobject_cast<QCheckBox*>(control); box && !box->text().isEmpty())
    return box->text();
  const QList<QLabel*> labels = page->findChildren<QLabel*>();
  for (QLabel* label : labels) {
    if (label->buddy() == control && label->isVisibleTo(page)) return label->text();
  }
  const int y = control->mapTo(page, QPoint(0, 0)).y();
  for (QLabel* label : labels) {
    QWidget* buddy = label->buddy();
    if (buddy && label->isVisibleTo(page) && buddy->mapTo(page, QPoint(0, 0)).y() == y)
      return label->text();
  }
  return QString();
}
}  // namespace

class PagesTest : public QObject {
  Q_OBJECT
 private slots:
  void linesVisibilityPerModel();
  void lines16RewriteAllBytes();
  void lines16Decode();
  void lines4PerControl();
  void eachLineStoresIntoItsOwnLine();
  void coNumberWidth();
  void timers();
  void timerSetsSideBySide();
  void everyByteBoxStoresIntoItsField_data();
  void everyByteBoxStoresIntoItsField();
  void exceptions4();
  void exceptions16();
  void prefixes4();
  void callIn();
  void exceptions16KeepAnUntouchedLength();
  void tabbingIntoAListChoosesNoEntry_data();
  void tabbingIntoAListChoosesNoEntry();
  void leavingAFieldUnchangedAsksNothingOnClosing_data();
  void leavingAFieldUnchangedAsksNothingOnClosing();
  void linesColumnsDoNotOverlap();
  void eachSettingShowsItsRowsCaption_data();
  void eachSettingShowsItsRowsCaption();
  void aRefusedEntryShowsItsRowsRefusal_data();
  void aRefusedEntryShowsItsRowsRefusal();
};

void PagesTest::linesVisibilityPerModel() {
  Fixture f;
  f.start(0, 1);
  for (int n = 1; n <= 16; ++n) {
    QCOMPARE(f.get<QWidget>(("pnlCO" + Nn(n)).toLatin1())->isHidden(), n > 4);
  }
  for (int n = 2; n <= 4; ++n) {
    QVERIFY(f.get<QWidget>(("RGdial" + Nn(n)).toLatin1())->isHidden());
    QVERIFY(f.get<QWidget>(("RGline" + Nn(n)).toLatin1())->isHidden());
  }
  QVERIFY(f.get<QWidget>("RGtime01")->isHidden());
  QCOMPARE(f.get<RadioGroup>("RGdial01")->items(),
           QStringList({"Impulzus", "DTMF normal", "DTMF gyors"}));
  QCOMPARE(f.get<QLabel>("lblPort07")->text(), QString("07"));
  f.setModel(1);
  for (int n = 1; n <= 16; ++n) {
    QVERIFY(!f.get<QWidget>(("pnlCO" + Nn(n)).toLatin1())->isHidden());
    QVERIFY(!f.get<QWidget>(("RGtime" + Nn(n)).toLatin1())->isHidden());
    QCOMPARE(f.get<RadioGroup>(("RGdial" + Nn(n)).toLatin1())->items(),
             QStringList({"DTMF", "Impulzus"}));
  }
}

void PagesTest::lines16RewriteAllBytes() {
  Fixture f;
  f.start(1, 1);
  const long base = f.window->layout().Offset(Field::LineSettings);
  f.session.record.image.SetImageByte(base + 9, 0xFF);
  f.window->DecodeImage();
  f.get<RadioGroup>("RGdial05")->button(1)->click();        // "Impulzus", stored on the click
  QCOMPARE(f.byte(Field::LineSettings, 9), uint8_t(0x1F));  // every line is rewritten
  f.get<RadioGroup>("RGtime05")->button(1)->click();
  f.get<QCheckBox>("CBalv05")->setChecked(true);
  f.leave(f.get<QCheckBox>("CBalv05"));
  f.get<QCheckBox>("CBbeh05")->setChecked(true);
  f.leave(f.get<QCheckBox>("CBbeh05"));
  QCOMPARE(f.byte(Field::LineSettings, 4), uint8_t(0x1F));
  f.get<RadioGroup>("RGline05")->button(0)->click();  // "Tárcsázáskor"
  QCOMPARE(f.byte(Field::LineSettings, 4), uint8_t(0x1B));
  QCOMPARE(f.byte(Field::LineSettings, 0), uint8_t(0x04));
  QVERIFY(f.window->modifiedFlag());
}

void PagesTest::lines16Decode() {
  Fixture f;
  f.start(1, 1);
  f.session.record.image.SetImageByte(f.window->layout().Offset(Field::LineSettings) + 2, 0x12);
  f.window->DecodeImage();
  QCOMPARE(f.get<RadioGroup>("RGtime03")->itemIndex(), 0);
  QCOMPARE(f.get<RadioGroup>("RGdial03")->itemIndex(), 1);  // "Impulzus"
  QCOMPARE(f.get<RadioGroup>("RGline03")->itemIndex(), 0);  // "Tárcsázáskor"
  QVERIFY(!f.get<QCheckBox>("CBalv03")->isChecked());
  QVERIFY(f.get<QCheckBox>("CBbeh03")->isChecked());
  QCOMPARE(f.get<QLineEdit>("MEco16")->text(), QString("16"));
}

void PagesTest::lines4PerControl() {
  Fixture f;
  f.start(0, 1);
  f.get<QCheckBox>("CBbeh03")->setChecked(true);
  f.leave(f.get<QCheckBox>("CBbeh03"));
  QCOMPARE(f.byte(Field::LineSettings, 0), uint8_t(0x40));
  f.get<QCheckBox>("CBalv02")->setChecked(true);
  f.leave(f.get<QCheckBox>("CBalv02"));
  QCOMPARE(f.byte(Field::LineSettings, 0), uint8_t(0x42));
  f.get<RadioGroup>("RGdial01")->button(2)->click();  // "DTMF gyors"
  QCOMPARE(f.byte(Field::LineSettings, 1), uint8_t(3));
  // "Tárcsázáskor" reads back as chosen.
  f.get<RadioGroup>("RGline01")->button(0)->click();
  f.window->DecodeImage();
  QCOMPARE(f.get<RadioGroup>("RGline01")->itemIndex(), 0);
  for (uint8_t stored : {0, 7}) {
    f.session.record.image.SetImageByte(f.window->layout().Offset(Field::LineSettings) + 1, stored);
    f.window->DecodeImage();
    QCOMPARE(f.get<RadioGroup>("RGdial01")->itemIndex(), 1);  // "DTMF normal"
  }
  QVERIFY(f.window->modifiedFlag());
}

void PagesTest::eachLineStoresIntoItsOwnLine() {
  for (int model : {0, 1}) {
    Fixture f;
    f.start(model, 1);
    const ImageLayout& layout = f.window->layout();
    const ConfigImage& image = f.session.record.image;
    const int lines = LineCount(layout.model());
    const long settingsAt = layout.Offset(Field::LineSettings);
    const long numbersAt = layout.Offset(Field::CoNumbers);
    QByteArray settings =
        QByteArray::fromStdString(image.Bytes(settingsAt, layout.Size(Field::LineSettings)));
    QByteArray numbers = QByteArray::fromStdString(image.Bytes(numbersAt, 2 * lines));
    // Line by line, every control of the line is changed and left; only that line's bytes
    // may change.
    for (int n = 1; n <= lines; ++n) {
      const QByteArray nn = Nn(n).toLatin1();
      const QByteArray co(2, char('A' + n - 1));
      f.typeAndLeave("MEco" + nn, QString::fromLatin1(co));
      numbers.replace(2 * (n - 1), 2, co);
      for (const char* stem : {"CBalv", "CBbeh"}) {
        auto* box = f.get<QCheckBox>(stem + nn);
        box->setChecked(true);
        f.leave(box);
      }
      if (model == 0) {
        settings[0] = char(settings[0] | (0x11 << (n - 1)));
      } else {
        f.get<RadioGroup>("RGdial" + nn)->button(1)->click();  // "Impulzus"
        f.get<RadioGroup>("RGline" + nn)->button(0)->click();  // "Tárcsázáskor"
        f.get<RadioGroup>("RGtime" + nn)->button(1)->click();  // "#2"
        settings[n - 1] = 0x1B;
      }
      QCOMPARE(QByteArray::fromStdString(image.Bytes(settingsAt, settings.size())), settings);
      QCOMPARE(QByteArray::fromStdString(image.Bytes(numbersAt, numbers.size())), numbers);
    }
  }
}

void PagesTest::coNumberWidth() {
  for (int model : {0, 1}) {
    Fixture f;
    f.start(model, 1);
    f.session.record.image.SetImageByte(f.window->layout().Offset(Field::CoCharCount), 3);
    const long base = f.window->layout().Offset(Field::CoNumbers);
    f.typeAndLeave("MEco02", "12345");
    QCOMPARE(QByteArray::fromStdString(f.session.record.image.Bytes(base + 3, 3)),
             QByteArray("123"));
    f.typeAndLeave("MEco02", "7");
    QCOMPARE(QByteArray::fromStdString(f.session.record.image.Bytes(base + 3, 3)),
             QByteArray("7  "));
    QVERIFY(f.window->modifiedFlag());
    f.typeAndLeave("MEco02", "ñ");
    QCOMPARE(f.dialogs.messages.size(), 1);
    QVERIFY(f.dialogs.messages[0].contains("ñ"));
    QCOMPARE(QByteArray::fromStdString(f.session.record.image.Bytes(base + 3, 3)),
             QByteArray("7  "));
  }
}

void PagesTest::timers() {
  Fixture f;
  f.start(0, 2);
  for (const char* name : {"ME1t2", "ME2t2", "MEcol2", "MEcor2", "lblido2"}) {
    QVERIFY(f.get<QWidget>(name)->isHidden());
  }
  QVERIFY(!f.get<QWidget>("edLI")->isHidden());
  QCOMPARE(f.get<QWidget>("edLI")->toolTip(),
           QString("A két jelfogó elengedése közötti idő (x10mS)"));
  QCOMPARE(f.get<QWidget>("MEintd")->toolTip(), QString("x 0,5S"));
  f.typeAndLeave("edLI", "300");
  QCOMPARE(f.dialogs.messages, QStringList({"Értéknek 0..255 között kell lenni !!!"}));
  QCOMPARE(f.byte(Field::LoopImpulseDelta), uint8_t(15));

  f.start(1, 2);
  QVERIFY(f.get<QWidget>("lblDeltaLI")->isHidden());
  QVERIFY(f.get<QWidget>("edLI")->isHidden());
  QVERIFY(!f.get<QWidget>("ME1t2")->isHidden());
  f.typeAndLeave("ME1t2", "33");
  QCOMPARE(f.session.record.image.ImageByte(1668), uint8_t(33));
  QVERIFY(f.window->modifiedFlag());
}

void PagesTest::timerSetsSideBySide() {
  Fixture f;
  f.start(1, 2);
  auto* grid = qobject_cast<QGridLayout*>(f.get<QWidget>("TabSheet3")->layout());
  QVERIFY(grid);
  auto cell = [grid](QWidget* w) {
    int row = -1, column = -1, rows, columns;
    grid->getItemPosition(grid->indexOf(w), &row, &column, &rows, &columns);
    return QPoint(column, row);
  };
  const int set1Column = cell(f.get<QWidget>("lblido1")).x();
  const int set2Column = cell(f.get<QWidget>("lblido2")).x();
  QVERIFY(set1Column != set2Column);
  // Each box of set #2 sits under "#2", in the row of its set #1 partner.
  const std::pair<const char*, const char*> pairs[] = {
      {"ME1t1", "ME1t2"}, {"ME2t1", "ME2t2"}, {"MEcol1", "MEcol2"}, {"MEcor1", "MEcor2"}};
  for (const auto& [one, two] : pairs) {
    const QPoint first = cell(f.get<QWidget>(one));
    const QPoint second = cell(f.get<QWidget>(two));
    QCOMPARE(first.x(), set1Column);
    QCOMPARE(second.x(), set2Column);
    QCOMPARE(second.y(), first.y());
  }
  // The headings stand right above the first row of the sets.
  QCOMPARE(cell(f.get<QWidget>("lblido1")).y(), cell(f.get<QWidget>("ME1t1")).y() - 1);
}

void PagesTest::everyByteBoxStoresIntoItsField_data() {
  QTest::addColumn<int>("model");
  QTest::addColumn<QString>("control");
  for (int model : {0, 1}) {
    const ImageLayout layout =
        ImageLayout::For(model == 0 ? DeviceModel::FourLine : DeviceModel::SixteenLine);
    for (const ByteFieldRow& row : ByteFields()) {
      if (!layout.Has(row.field)) continue;
      QTest::newRow(qPrintable(QString("%1/%2").arg(model == 0 ? 4 : 16).arg(row.control)))
          << model << QString(row.control);
    }
  }
}

void PagesTest::everyByteBoxStoresIntoItsField() {
  QFETCH(int, model);
  QFETCH(QString, control);
  const ByteFieldRow* row = nullptr;
  for (const ByteFieldRow& r : ByteFields()) {
    if (control == r.control) row = &r;
  }
  QVERIFY(row);
  Fixture f;
  f.start(model, row->page);
  ConfigImage expected = f.session.record.image;
  expected.SetImageByte(f.window->layout().Offset(row->field), 201);
  f.typeAndLeave(row->control, "201");
  QVERIFY(f.dialogs.messages.isEmpty());
  QVERIFY2(f.session.record.image == expected, "stored elsewhere than its field, or more");
  QVERIFY(f.window->modifiedFlag());
  f.get<QLineEdit>(row->control)->clear();
  f.window->DecodeImage();
  QCOMPARE(f.get<QLineEdit>(row->control)->text(), QString("201"));
}

void PagesTest::exceptions4() {
  Fixture f;
  f.start(0, 3);
  auto* list = f.get<QListWidget>("lbKiv");
  auto* page = f.get<NumberPlanPage>("TabSheet4");
  list->setCurrentRow(1);
  QCOMPARE(f.get<QLineEdit>("edKivSzam")->text(), QString("0630"));
  QCOMPARE(f.get<QLineEdit>("edKivHossz")->text(), QString("11"));
  f.get<QLineEdit>("edKivSzam")->setText("1");
  f.get<QLineEdit>("edKivHossz")->setText("8");
  f.get<QPushButton>("btnKivEdit")->click();
  QCOMPARE(list->item(1)->text(), QString("1???08"));
  QCOMPARE(QByteArray::fromStdString(f.session.record.image.Bytes(1587, 3)),
           QByteArray("\x1F\xFF\x08"));
  // The boxes show what the entry now holds.
  QCOMPARE(f.get<QLineEdit>("edKivSzam")->text(), QString("1???"));
  QCOMPARE(f.get<QLineEdit>("edKivHossz")->text(), QString("08"));
  QCOMPARE(QString::fromStdString(page->DrawnRow(1).areaCode), QString("1???"));
  QVERIFY(f.window->modifiedFlag());  // closing must not lose the edit without a question

  f.get<QLineEdit>("edKivHossz")->setText("x");
  f.get<QPushButton>("btnKivEdit")->click();
  QCOMPARE(f.dialogs.messages, QStringList({"A hossznak 0..99 között kell lenni !!!"}));
  QCOMPARE(list->item(1)->text(), QString("1???08"));

  f.get<QPushButton>("btnKivDel")->click();
  QCOMPARE(list->item(1)->text(), QString("====00"));
  QCOMPARE(QByteArray::fromStdString(f.session.record.image.Bytes(1587, 3)),
           QByteArray("\xDD\xDD\x00", 3));
}

void PagesTest::exceptions16() {
  Fixture f;
  f.start(1, 3);
  QVERIFY(f.get<QWidget>("pnlPref")->isHidden());
  auto* page = f.get<NumberPlanPage>("TabSheet4");
  const uint8_t callIn = f.byte(Field::CallInNumber);
  f.get<QListWidget>("lbKiv")->setCurrentRow(2);
  f.get<QLineEdit>("edKivSzam")->setText("36");
  f.get<QLineEdit>("edKivHossz")->setText("9");
  f.get<QPushButton>("btnKivEdit")->click();
  const long at = f.window->layout().Offset(Field::AreaExceptions) + 4;
  QCOMPARE(QByteArray::fromStdString(f.session.record.image.Bytes(at, 2)), QByteArray("\x36\x09"));
  QCOMPARE(QString::fromStdString(page->DrawnRow(2).areaCode), QString("36"));
  QCOMPARE(QString::fromStdString(page->DrawnRow(2).length), QString("09"));
  f.get<QPushButton>("btnKivDel")->click();
  QCOMPARE(QString::fromStdString(page->DrawnRow(2).areaCode), QString("00"));
  QCOMPARE(QString::fromStdString(page->DrawnRow(2).length), QString("255"));
  // The call-in number after the field stays as it was.
  QCOMPARE(f.byte(Field::CallInNumber), callIn);
}

void PagesTest::prefixes4() {
  Fixture f;
  f.start(0, 3);
  f.typeAndLeave("edMP04", "");
  QCOMPARE(f.get<QLineEdit>("edMP04")->text(), QString("===="));
  f.typeAndLeave("edMP02", "063");
  QCOMPARE(f.get<QLineEdit>("edMP02")->text(), QString("063?"));
  QCOMPARE(QByteArray::fromStdString(f.session.record.image.Bytes(1412, 8)),
           QByteArray("\x06\x20\x06\x3F\x06\x70\xDD\xDD"));
  f.typeAndLeave("edIP02", "1");
  QCOMPARE(f.session.record.image.ImageByte(1421), uint8_t(0x1F));
}

void PagesTest::callIn() {
  for (int model : {0, 1}) {
    Fixture f;
    f.start(model, 6);
    const QString number = "123456789012345678901234";
    f.typeAndLeave("edBehiv", number);
    const long at = f.window->layout().Offset(Field::CallInNumber);
    QCOMPARE(QString::fromStdString(f.session.record.image.Bytes(at, 24)), number);
    f.window->DecodeImage();
    QCOMPARE(f.get<QLineEdit>("edBehiv")->text(), number);

    f.session.record.image.SetImageByte(f.window->layout().Offset(Field::GatewayFlags), 0xFF);
    f.window->DecodeImage();
    f.get<QCheckBox>("chkIntGW")->setChecked(false);
    f.leave(f.get<QCheckBox>("chkIntGW"));
    QCOMPARE(f.byte(Field::GatewayFlags), uint8_t(0x01));

    auto* list = f.get<QListWidget>("lbGW");
    QCOMPARE(list->count(), 64);
    list->setCurrentRow(20);
    QCOMPARE(f.get<QLineEdit>("edGW")->text(), QString("??"));
    f.get<QLineEdit>("edGW")->setText("1");
    f.get<QPushButton>("btnGWAdd")->click();
    QCOMPARE(list->item(20)->text(), QString("1?"));
    QCOMPARE(f.byte(Field::ForbiddenAreaCodes, 20), uint8_t(0x1F));
    list->setCurrentRow(0);
    f.get<QPushButton>("btnGWDel")->click();
    QCOMPARE(f.byte(Field::ForbiddenAreaCodes, 0), uint8_t(0xFF));
    QVERIFY(f.window->modifiedFlag());

    // All 24 characters of the number are in view.
    auto* edit = f.get<QLineEdit>("edBehiv");
    const QMargins m = edit->textMargins();
    QVERIFY(edit->width() - m.left() - m.right() - 8 >=
            edit->fontMetrics().horizontalAdvance(number));
  }
}

// A list reached with Tab gets a current row nobody chose: the boxes keep what was typed
// and the buttons that act on the selected entry change nothing in the image.
void PagesTest::tabbingIntoAListChoosesNoEntry_data() {
  QTest::addColumn<int>("model");
  QTest::addColumn<int>("page");
  QTest::addColumn<QString>("list");
  QTest::addColumn<QString>("edit");
  QTest::addColumn<QString>("button");
  QTest::newRow("exceptions, 4-line") << 0 << 3 << "lbKiv"
                                      << "edKivSzam"
                                      << "btnKivDel";
  QTest::newRow("exceptions, 16-line") << 1 << 3 << "lbKiv"
                                       << "edKivSzam"
                                       << "btnKivDel";
  QTest::newRow("forbidden codes") << 0 << 6 << "lbGW"
                                   << "edGW"
                                   << "btnGWDel";
}

void PagesTest::tabbingIntoAListChoosesNoEntry() {
  QFETCH(int, model);
  QFETCH(int, page);
  QFETCH(QString, list);
  QFETCH(QString, edit);
  QFETCH(QString, button);
  Fixture f;
  f.start(model, page);
  auto* entries = f.get<QListWidget>(list.toUtf8());
  auto* typed = f.get<QLineEdit>(edit.toUtf8());
  typed->setText("12");
  entries->setFocus(Qt::TabFocusReason);
  QCoreApplication::processEvents();
  QCOMPARE(entries->currentRow(), 0);  // what the toolkit does
  QCOMPARE(typed->text(), QString("12"));
  const ConfigImage before = f.session.record.image;
  f.get<QPushButton>(button.toUtf8())->click();
  QVERIFY(f.session.record.image == before);
  QVERIFY(!f.window->modifiedFlag());
  // A click is a choice.
  QTest::mouseClick(entries->viewport(), Qt::LeftButton, {},
                    entries->visualItemRect(entries->item(2)).center());
  QCOMPARE(ChosenRow(entries), 2);
  QVERIFY(typed->text() != "12");
}

// The pages whose fields store on leaving set the modified flag only when a byte changed:
// passing through them asks nothing on closing.
void PagesTest::leavingAFieldUnchangedAsksNothingOnClosing_data() {
  QTest::addColumn<int>("model");
  QTest::addColumn<int>("page");
  QTest::addColumn<QString>("control");
  QTest::newRow("PIN switch") << 0 << 0 << "chkPinEna";
  QTest::newRow("mobile prefix") << 0 << 3 << "edMP01";
  QTest::newRow("call-in number") << 1 << 6 << "edBehiv";
  QTest::newRow("gateway box") << 1 << 6 << "chkIntGW";
}

void PagesTest::leavingAFieldUnchangedAsksNothingOnClosing() {
  QFETCH(int, model);
  QFETCH(int, page);
  QFETCH(QString, control);
  Fixture f;
  f.start(model, page);
  auto* w = f.get<QWidget>(control.toUtf8());
  f.leave(w);
  QVERIFY(!f.window->modifiedFlag());
  if (auto* box = qobject_cast<QCheckBox*>(w)) {
    box->setChecked(!box->isChecked());
  } else {
    qobject_cast<QLineEdit*>(w)->setText("0612");
  }
  f.leave(w);
  QVERIFY(f.window->modifiedFlag());
}

// Selecting an empty 16-line entry (00 and 255) and pressing "&Módosítás" stores it as it
// was; a typed length is held to 0..99.
void PagesTest::exceptions16KeepAnUntouchedLength() {
  Fixture f;
  f.start(1, 3);
  auto* list = f.get<QListWidget>("lbKiv");
  auto* length = f.get<QLineEdit>("edKivHossz");
  const long at = f.window->layout().Offset(Field::AreaExceptions) + 2 * 5;
  list->setCurrentRow(5);
  f.get<QPushButton>("btnKivDel")->click();
  list->setCurrentRow(0);
  list->setCurrentRow(5);
  QCOMPARE(f.get<QLineEdit>("edKivSzam")->text(), QString("00"));
  QCOMPARE(length->text(), QString("255"));
  f.get<QPushButton>("btnKivEdit")->click();
  QCOMPARE(QByteArray::fromStdString(f.session.record.image.Bytes(at, 2)),
           QByteArray("\x00\xFF", 2));
  QVERIFY(f.dialogs.messages.isEmpty());

  length->setText("100");
  f.get<QPushButton>("btnKivEdit")->click();
  QCOMPARE(f.dialogs.messages, QStringList({"A hossznak 0..99 között kell lenni !!!"}));
  QCOMPARE(QByteArray::fromStdString(f.session.record.image.Bytes(at, 2)),
           QByteArray("\x00\xFF", 2));

  f.get<QLineEdit>("edKivSzam")->setText("36");
  length->setText("7");
  f.get<QPushButton>("btnKivEdit")->click();
  QCOMPARE(QByteArray::fromStdString(f.session.record.image.Bytes(at, 2)), QByteArray("\x36\x07"));
  QCOMPARE(length->text(), QString("07"));
}

// At the window's default size, no heading or control of the lines page runs into its
// neighbour, each heading stands over its column, and every column shows its controls whole.
void PagesTest::linesColumnsDoNotOverlap() {
  for (int model : {0, 1}) {
    Fixture f;
    f.start(model, 1);
    QCOMPARE(f.window->size(), QSize(666, 536));
    auto* page = f.get<QWidget>("TabSheet2");
    auto at = [page](QWidget* w) { return QRect(w->mapTo(page, QPoint(0, 0)), w->size()); };
    const char* const headings[] = {"Port",     "CO szám", "Tárcsázás", "Vonalfogás",
                                    "Időzítők", "Alvonal", "Behívás"};
    QList<QLabel*> heads;
    for (const char* h : headings) {
      for (QLabel* l : page->findChildren<QLabel*>()) {
        if (l->text() == QString::fromUtf8(h)) heads << l;
      }
    }
    QCOMPARE(heads.size(), 7);
    const QByteArray stems[] = {"lblPort", "MEco", "RGdial", "RGline", "RGtime", "CBalv", "CBbeh"};
    const int lines = model == 0 ? 4 : 16;
    for (int n = 1; n <= lines; ++n) {
      QRect previousCell, previousHead;
      for (int c = 0; c < 7; ++c) {
        auto* cell = f.get<QWidget>(stems[c] + Nn(n).toLatin1());
        if (!cell->isVisible() && !(model == 0 && c == 4)) continue;
        if (model == 0 && c == 4) continue;  // one timer set: no column
        const QRect head = at(heads[c]);
        const QRect box = at(cell);
        const QString where = QString("%1/line %2/%3").arg(model).arg(n).arg(headings[c]);
        QVERIFY2(heads[c]->fontMetrics().horizontalAdvance(heads[c]->text()) <= head.width(),
                 qPrintable(where));
        QVERIFY2(cell->width() >= cell->sizeHint().width() || c == 1, qPrintable(where));
        QVERIFY2(head.left() == box.left(), qPrintable(where));
        if (!previousCell.isNull()) {
          QVERIFY2(previousCell.right() < box.left(), qPrintable(where));
          QVERIFY2(previousHead.right() < head.left(), qPrintable(where));
        }
        QVERIFY2(box.right() < page->width(), qPrintable(where));
        previousCell = box;
        previousHead = head;
      }
    }
  }
}

// The pages take each setting's caption from its row: the text beside, over or on its control
// is the caption, with the decoration of the page (an accelerator, a colon). A control that
// shows a whole list is named by the list's caption and the names of an entry's parts.
void PagesTest::eachSettingShowsItsRowsCaption_data() {
  QTest::addColumn<int>("model");
  QTest::addColumn<int>("index");
  const PageId pages[] = {PageId::General, PageId::Lines, PageId::Timers, PageId::NumberPlan,
                          PageId::CallIn};
  for (DeviceModel model : {DeviceModel::FourLine, DeviceModel::SixteenLine}) {
    const std::vector<SettingRow>& rows = Settings();
    for (size_t i = 0; i < rows.size(); ++i) {
      const SettingRow& row = rows[i];
      if (!row.page || std::find(std::begin(pages), std::end(pages), *row.page) == std::end(pages))
        continue;
      if (!row.In(model)) continue;
      const std::string name = row.box ? row.box->control : PlaceOf(row);
      QTest::newRow(qPrintable(QString("%1/%2").arg(LineCount(model)).arg(name.c_str())))
          << static_cast<int>(model) << static_cast<int>(i);
    }
  }
}

void PagesTest::eachSettingShowsItsRowsCaption() {
  QFETCH(int, model);
  QFETCH(int, index);
  const SettingRow& row = Settings().at(static_cast<size_t>(index));
  Fixture f;
  f.start(model, static_cast<int>(*row.page));
  QWidget* page = f.window->findChild<QTabWidget*>()->currentWidget();
  const char* name = row.box ? row.box->control : nullptr;
  if (!name) {
    const auto known = kControlOf.find(PlaceOf(row));
    if (known == kControlOf.end()) QFAIL("no control is known for this setting");
    name = known->second;
  }
  QWidget* control = f.get<QWidget>(name);
  QVERIFY2(control->isVisibleTo(page), "the control is hidden in this model");

  QString shown = ShownCaption(page, control);
  shown.remove('&');
  if (shown.endsWith(':')) shown.chop(1);
  QString expected = QString::fromUtf8(row.caption);
  const SettingList* list = row.list == SettingListId::None ? nullptr : &ListOf(row.list);
  if (list && list->caption && expected == QString::fromUtf8(list->entryCaption)) {
    expected = QString::fromUtf8(list->caption);
    QStringList parts;
    for (const SettingPart& part : row.parts) parts << QString::fromUtf8(part.caption);
    if (!parts.isEmpty()) expected += " (" + parts.join(':') + ")";
  }
  QCOMPARE(shown, expected);
}

// A box the page refuses to leave says what the setting's row says of the same entry, so the
// window and the command line refuse alike; the image stays as it was.
void PagesTest::aRefusedEntryShowsItsRowsRefusal_data() {
  QTest::addColumn<int>("model");
  QTest::addColumn<QString>("control");
  QTest::addColumn<QString>("place");  // object.key, or empty for the box's own row
  QTest::addColumn<int>("index");
  QTest::addColumn<QString>("typed");
  QTest::newRow("record terminator too large") << 0 << "MErzk"
                                               << "general.recordTerminator" << 0 << "256";
  QTest::newRow("record terminator not a number") << 1 << "MErzk"
                                                  << "general.recordTerminator" << 0 << "x";
  QTest::newRow("number terminator") << 1 << "MEszamz"
                                     << "general.numberTerminator" << 0 << "a";
  QTest::newRow("number terminator outside the code page")
      << 1 << "MEszamz"
      << "general.numberTerminator" << 0 << "ñ";
  QTest::newRow("byte box, timers") << 0 << "edLI"
                                    << "" << 0 << "300";
  QTest::newRow("byte box, number lengths") << 1 << "MEnatlen"
                                            << "" << 0 << "-1";
  QTest::newRow("CO number") << 1 << "MEco02"
                             << ".coNumber" << 2 << "ñ";
  QTest::newRow("call-in number") << 0 << "edBehiv"
                                  << "callIn.number" << 0 << "1ñ";
  QTest::newRow("mobile prefix") << 0 << "edMP02"
                                 << "numberPlan.mobilePrefixes" << 2 << "ñ";
}

void PagesTest::aRefusedEntryShowsItsRowsRefusal() {
  QFETCH(int, model);
  QFETCH(QString, control);
  QFETCH(QString, place);
  QFETCH(int, index);
  QFETCH(QString, typed);
  const QByteArray name = control.toLatin1();
  const SettingRow* row = SettingByControl(name.toStdString());
  if (!place.isEmpty()) {
    const QStringList parts = place.split('.');
    row = SettingByKey(parts[0].toStdString(), parts[1].toStdString());
  }
  QVERIFY(row);
  Fixture f;
  f.start(model, static_cast<int>(*row->page));
  DatabaseRecord copy = f.session.record;
  const SetResult refused = row->set(copy, f.window->layout(), index, typed.toStdString());
  QVERIFY(refused);
  const ConfigImage before = f.session.record.image;
  f.typeAndLeave(name, typed);
  QCOMPARE(f.dialogs.messages, QStringList({QString::fromStdString(refused->message)}));
  QVERIFY(f.session.record.image == before);
}

TARVELO_TEST_MAIN(PagesTest)
#include "PagesTest.moc"
