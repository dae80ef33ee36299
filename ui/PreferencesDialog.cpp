#include "ui/PreferencesDialog.h"

#include <QApplication>
#include <QDateTime>
#include <QFormLayout>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSpinBox>
#include <algorithm>

#include "model/CodeSize.h"
#include "model/CodeTable.h"
#include "ui/CodesPage.h"
#include "ui/DialogService.h"
#include "ui/ErrorGuard.h"
#include "ui/QtText.h"
#include "ui/Session.h"
#include "ui/Widgets.h"

namespace tarvelo {

namespace {

// A spin box that takes any number typed into it, so that a value above its limit is
// refused with a message when the box is left instead of being turned into another one
// keystroke by keystroke; its arrows stay within the limits.
class LimitedSpinBox : public QSpinBox {
 public:
  using QSpinBox::QSpinBox;
  void setLimits(int lowest, int highest) {
    lowest_ = lowest;
    highest_ = highest;
  }
  void stepBy(int steps) override {
    const int v = value();
    if ((steps > 0 && v >= highest_) || (steps < 0 && v <= lowest_)) return;
    setValue(std::clamp(v + steps * singleStep(), lowest_, highest_));
  }

 protected:
  StepEnabled stepEnabled() const override {
    StepEnabled enabled = StepNone;
    if (value() < highest_) enabled |= StepUpEnabled;
    if (value() > lowest_) enabled |= StepDownEnabled;
    return enabled;
  }

 private:
  int lowest_ = 0;
  int highest_ = 0;
};

// Wide enough for any count the two stored bytes can hold and any length the record length
// byte can give, with room for a typed value above them to be named as too large.
constexpr int kMaxTypedCount = 99999;
constexpr int kMaxTypedLength = 999;

}  // namespace

QString FileDateText(const std::optional<std::chrono::system_clock::time_point>& date) {
  if (!date) return QString();
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(date->time_since_epoch()).count();
  const QDateTime when = QDateTime::fromMSecsSinceEpoch(ms);
  const QLocale locale = DisplayLocale();
  // The long time format names the time zone in some locales; the time alone is meant.
  QString timeFormat = locale.timeFormat(QLocale::LongFormat);
  timeFormat.remove(QRegularExpression("\\s*\\(?t+\\)?"));
  return locale.toString(when.date(), QLocale::ShortFormat) + " " +
         locale.toString(when.time(), timeFormat.trimmed());
}

TPrefer::TPrefer(PreferencesHost& host, QWidget* parent) : QDialog(parent), host_(host) {
  setObjectName("Prefer");
  setWindowTitle("Preferenciák");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
  auto* form = new QFormLayout(this);
  auto edit = [&](const char* name, const QString& label) {
    auto* e = new QLineEdit(this);
    e->setObjectName(name);
    e->setMinimumWidth(220);
    form->addRow(label, e);
    return e;
  };
  Esite = edit("Esite", LabelText(RowOf("", "site")));
  Euser = edit("Euser", LabelText(RowOf("", "owner")));
  Epassw1 = edit("Epassw1", "Jelszó:");
  Epassw1->setEchoMode(QLineEdit::Password);
  Edatetime = edit("Edatetime", "Utolsó módosítás:");
  Edatetime->setEnabled(false);
  auto* count = new LimitedSpinBox(this);
  count->setObjectName("SEkoddb");
  count->setRange(0, kMaxTypedCount);
  count->setLimits(0, MaxCodeCount(host_.layout(), 6));
  SEkoddb = count;
  form->addRow(LabelText(RowOf("codes", "count")), SEkoddb);
  auto* length = new LimitedSpinBox(this);
  length->setObjectName("SEkodlen");
  length->setRange(0, kMaxTypedLength);
  length->setLimits(kMinCodeLength, kMaxCodeLength);
  length->setValue(6);
  SEkodlen = length;
  form->addRow(LabelText(RowOf("codes", "codeLength")), SEkodlen);
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OKBtn");
  ok->setDefault(true);
  form->addRow(ok);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  connect(SEkodlen, &QSpinBox::valueChanged, this, Guarded([this] { CodeLengthChanged(); }));
  host_.leave().OnLeave(SEkodlen, [this] { return CodeLengthLeft(); });
  host_.leave().OnLeave(SEkoddb, [this] { return CodeCountLeft(); });

  Fill();
  adjustSize();
  if (QScreen* screen = QApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

TPrefer::~TPrefer() {
  // Whatever was typed has been stored or refused by now; the boxes' leave checks must not
  // run while the dialog is taken apart.
  host_.leave().Forget(SEkodlen);
  host_.leave().Forget(SEkoddb);
}

ConfigImage& TPrefer::image() {
  return host_.session().record.image;
}

void TPrefer::Fill() {
  const DatabaseRecord& record = host_.session().record;
  Esite->setText(FromCp1250(record.site.text()));
  Euser->setText(FromCp1250(record.owner.text()));
  Epassw1->setText(FromCp1250(record.password.text()));
  filledTexts_[0] = Esite->text();
  filledTexts_[1] = Euser->text();
  filledTexts_[2] = Epassw1->text();
  Edatetime->setText(FileDateText(host_.session().fileDate));
  // Shown as stored, also where the table lies outside the boxes' limits: such a table is
  // kept unless the user changes it.
  const int storedLength = StoredRecordLength(image(), host_.layout()) - 1;
  SEkodlen->setMinimum(std::min(0, storedLength));
  SEkodlen->setValue(storedLength);
  CodeLengthChanged();  // even when the box already showed that length
  SEkoddb->setValue(StoredCodeCount(image(), host_.layout()));
}

void TPrefer::CodeLengthChanged() {
  static_cast<LimitedSpinBox*>(SEkoddb)->setLimits(
      0, std::max(0, MaxCodeCount(host_.layout(), SEkodlen->value())));
}

bool TPrefer::CodeLengthLeft() {
  if (const Refusal r = CheckCodeLength(image(), host_.layout(), SEkodlen->value())) {
    host_.dialogs().Message(Q(*r));
    return false;
  }
  return true;
}

bool TPrefer::CodeCountLeft() {
  if (const Refusal r =
          CheckCodeCount(image(), host_.layout(), SEkoddb->value(), SEkodlen->value())) {
    host_.dialogs().Message(Q(*r));
    return false;
  }
  return true;
}

bool TPrefer::Store() {
  QLineEdit* const edits[] = {Esite, Euser, Epassw1};
  DatabaseRecord& record = host_.session().record;
  ShortString* const texts[] = {&record.site, &record.owner, &record.password};
  std::optional<std::string> converted[3];
  for (int i = 0; i < 3; ++i) {
    if (edits[i]->text() == filledTexts_[i]) continue;
    QString refused;
    converted[i] = ToCp1250(edits[i]->text(), &refused);
    if (!converted[i]) {
      host_.dialogs().Message(refused);
      edits[i]->setFocus(Qt::OtherFocusReason);
      return false;
    }
  }
  const int count = SEkoddb->value();
  const int length = SEkodlen->value();
  // The grid's cells are the codes as the user sees them, edits not yet stored included.
  CodesPage& codes = host_.codesPage();
  codes.view()->commitEditor();
  const auto refuse = [this](const Refusal& r, QWidget* field) {
    host_.dialogs().Message(Q(*r));
    field->setFocus(Qt::OtherFocusReason);
    return false;
  };
  if (Refusal r = CheckCodeLength(image(), host_.layout(), length)) return refuse(r, SEkodlen);
  if (Refusal r = CheckCodeCount(image(), host_.layout(), count, length)) {
    // A count that only the new length refuses is a matter of the length.
    const bool lengthChanged = length != StoredRecordLength(image(), host_.layout()) - 1;
    const bool countChanged = count != StoredCodeCount(image(), host_.layout());
    if (countChanged || !lengthChanged) return refuse(r, SEkoddb);
  }
  if (Refusal r = CheckCodeSize(image(), host_.layout(), count, length, codes.grid()))
    return refuse(r, SEkodlen);

  for (int i = 0; i < 3; ++i) {
    if (converted[i]) texts[i]->set(*converted[i]);  // cut to 255 characters
  }
  StoreCodeSize(image(), host_.layout(), count, length, codes.grid());
  return true;
}

void TPrefer::done(int result) {
  if (!Store()) return;
  QDialog::done(result);
}

}  // namespace tarvelo
