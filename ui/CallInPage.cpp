#include "ui/CallInPage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "model/NumberPlan.h"
#include "ui/DialogService.h"
#include "ui/ErrorGuard.h"
#include "ui/QtText.h"
#include "ui/Widgets.h"

namespace tarvelo {
namespace {

const SettingRow& Row(const char* key) {
  return RowOf("callIn", key);
}

}  // namespace

CallInPage::CallInPage(PageHost& host) : Page("TabSheet7", host) {
  auto* grid = new QGridLayout(this);
  callInNumberEdit_ = MakeEdit("edBehiv", 24, this);
  grid->addWidget(MakeLabel(Row("number"), callInNumberEdit_, this), 0, 0);
  // All 24 characters in view, in whatever font.
  callInNumberEdit_->setMinimumWidth(
      callInNumberEdit_->fontMetrics().horizontalAdvance(QString(24, QChar('0'))) + 14);
  grid->addWidget(callInNumberEdit_, 0, 1, 1, 3);
  foreignBox_ = new QCheckBox(Caption(Row("foreign")), this);
  foreignBox_->setObjectName("chkIntGW");
  nationalBox_ = new QCheckBox(Caption(Row("national")), this);
  nationalBox_->setObjectName("chkNatGW");
  grid->addWidget(foreignBox_, 1, 0, 1, 3);
  grid->addWidget(nationalBox_, 2, 0, 1, 3);
  forbiddenList_ = new QListWidget(this);
  forbiddenList_->setObjectName("lbGW");
  grid->addWidget(MakeLabel(Row("forbiddenAreaCodes"), forbiddenList_, this), 3, 0, 1, 3);
  forbiddenList_->setMaximumWidth(120);
  for (int k = 0; k < kForbiddenCount; ++k) forbiddenList_->addItem(kEmptyForbiddenText);
  grid->addWidget(forbiddenList_, 4, 0, 4, 1);
  forbiddenEdit_ = MakeEdit("edGW", 2, this);
  forbiddenEdit_->setMaximumWidth(40);
  // The box holds an area code, named as the number plan names one.
  const SettingPart& areaCode = RowOf("numberPlan", "exceptions").parts.at(0);
  auto* entryLabel = new QLabel(Q(areaCode.caption) + ":", this);
  entryLabel->setBuddy(forbiddenEdit_);
  grid->addWidget(entryLabel, 4, 1);
  grid->addWidget(forbiddenEdit_, 4, 2);
  putButton_ = new QPushButton("&Felvesz", this);
  putButton_->setObjectName("btnGWAdd");
  clearButton_ = new QPushButton("&Töröl", this);
  clearButton_->setObjectName("btnGWDel");
  grid->addWidget(putButton_, 5, 1, 1, 2);
  grid->addWidget(clearButton_, 6, 1, 1, 2);
  grid->setRowStretch(7, 1);
  grid->setColumnStretch(4, 1);

  for (QWidget* w : std::initializer_list<QWidget*>{callInNumberEdit_, foreignBox_, nationalBox_,
                                                    forbiddenList_}) {
    host.leave().OnLeave(w, [this] { return storeCallIn(); });
  }
  connect(forbiddenList_, &QListWidget::itemClicked, this,
          Guarded([this] { showSelectedForbidden(); }));
  connect(forbiddenList_, &QListWidget::itemSelectionChanged, this,
          Guarded([this] { showSelectedForbidden(); }));
  connect(putButton_, &QPushButton::clicked, this, Guarded([this] { putForbiddenEntry(); }));
  connect(clearButton_, &QPushButton::clicked, this, Guarded([this] { clearForbiddenEntry(); }));
}

void CallInPage::Decode(const ImageView& view) {
  foreignBox_->setChecked(view.callIn.foreign);
  nationalBox_->setChecked(view.callIn.national);
  callInNumberEdit_->setText(FromCp1250(view.callIn.number));
  for (int k = 0; k < kForbiddenCount; ++k)
    forbiddenList_->item(k)->setText(FromCp1250(view.callIn.forbidden[k]));
}

bool CallInPage::storeCallIn() {
  if (!StoreSetting(host_, Row("number"), 0, callInNumberEdit_->text())) return false;
  StoreSetting(host_, Row("foreign"), 0, YesNo(foreignBox_->isChecked()));
  StoreSetting(host_, Row("national"), 0, YesNo(nationalBox_->isChecked()));
  return true;
}

void CallInPage::showSelectedForbidden() {
  const int chosen = ChosenRow(forbiddenList_);
  if (chosen >= 0) forbiddenEdit_->setText(forbiddenList_->item(chosen)->text());
}

void CallInPage::putForbiddenEntry() {
  const int chosen = ChosenRow(forbiddenList_);
  if (chosen < 0) return;
  QString message;
  const auto text = ToCp1250(forbiddenEdit_->text(), &message);
  if (!text) {
    host_.dialogs().Message(message);
    return;
  }
  if (!StoreSetting(host_, Row("forbiddenAreaCodes"), chosen + 1, forbiddenEdit_->text())) return;
  const QString entry = FromCp1250(CompleteForbiddenEntry(*text));
  forbiddenEdit_->setText(entry);
  forbiddenList_->item(chosen)->setText(entry);
}

void CallInPage::clearForbiddenEntry() {
  forbiddenEdit_->setText(kEmptyForbiddenText);
  putForbiddenEntry();
}

}  // namespace tarvelo
