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

#include "model/CodeTable.h"
#include "ui/ErrorGuard.h"
#include "ui/MainWindow.h"
#include "ui/QtText.h"

namespace tarvelo {

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

TPrefer::TPrefer(TMainForm& window) : QDialog(&window), window_(window) {
  setObjectName("Prefer");
  setWindowTitle("Preferenciák");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
  auto* form = new QFormLayout(this);
  auto edit = [&](const char* name, const char* label) {
    auto* e = new QLineEdit(this);
    e->setObjectName(name);
    e->setMinimumWidth(220);
    form->addRow(label, e);
    return e;
  };
  Esite = edit("Esite", "Telepítés:");
  Euser = edit("Euser", "Tulajdonos:");
  Epassw1 = edit("Epassw1", "Jelszó:");
  Epassw1->setEchoMode(QLineEdit::Password);
  Edatetime = edit("Edatetime", "Utolsó módosítás:");
  Edatetime->setEnabled(false);
  SEkoddb = new QSpinBox(this);
  SEkoddb->setObjectName("SEkoddb");
  SEkoddb->setRange(0, 1638);
  form->addRow("Kódok darabszáma:", SEkoddb);
  SEkodlen = new QSpinBox(this);
  SEkodlen->setObjectName("SEkodlen");
  SEkodlen->setRange(2, 8);
  SEkodlen->setValue(6);
  form->addRow("Kódjegyek száma:", SEkodlen);
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OKBtn");
  ok->setDefault(true);
  form->addRow(ok);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  for (QLineEdit* e : {Esite, Euser, Epassw1})
    connect(e, &QLineEdit::textChanged, this, Guarded([this] { window_.SetModified(); }));
  connect(SEkoddb, &QSpinBox::valueChanged, this, Guarded([this] { window_.SetModified(); }));
  connect(SEkodlen, &QSpinBox::valueChanged, this, Guarded([this] { CodeLengthChanged(); }));

  Fill();
  adjustSize();
  if (QScreen* screen = QApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

void TPrefer::Fill() {
  const DatabaseRecord& record = window_.session().record;
  Esite->setText(FromCp1250(record.site.text()));
  Euser->setText(FromCp1250(record.owner.text()));
  Epassw1->setText(FromCp1250(record.password.text()));
  Edatetime->setText(FileDateText(window_.session().fileDate));
  filledLength_ = StoredRecordLength(window_.image(), window_.layout()) - 1;
  filledCount_ = StoredCodeCount(window_.image(), window_.layout());
  SEkodlen->setValue(filledLength_);
  // The count is measured against the stored length's limit even when the length box
  // already showed that length.
  SEkoddb->setMaximum(CodeCountLimit(SEkodlen->value()));
  SEkoddb->setValue(filledCount_);
}

void TPrefer::CodeLengthChanged() {
  SEkoddb->setMaximum(CodeCountLimit(SEkodlen->value()));
  window_.SetModified();
}

bool TPrefer::Store() {
  const std::pair<QLineEdit*, ShortString*> texts[] = {
      {Esite, &window_.session().record.site},
      {Euser, &window_.session().record.owner},
      {Epassw1, &window_.session().record.password}};
  // All or nothing: a text the code page cannot hold keeps the dialog open on it.
  std::string converted[3];
  for (int i = 0; i < 3; ++i) {
    QString refused;
    const auto text = ToCp1250(texts[i].first->text(), &refused);
    if (!text) {
      window_.dialogs().Message(refused);
      texts[i].first->setFocus(Qt::OtherFocusReason);
      return false;
    }
    converted[i] = *text;
  }
  for (int i = 0; i < 3; ++i) texts[i].second->set(converted[i]);  // cut to 255 characters
  if (SEkoddb->value() != filledCount_ || SEkodlen->value() != filledLength_) {
    StoreCodeCount(window_.image(), window_.layout(), SEkoddb->value());
    StoreRecordLength(window_.image(), window_.layout(), SEkodlen->value() + 1);
  }
  return true;
}

void TPrefer::done(int result) {
  if (!Store()) return;
  QDialog::done(result);
}

}  // namespace tarvelo
