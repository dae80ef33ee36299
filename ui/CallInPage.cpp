#include "ui/CallInPage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "ui/DialogService.h"
#include "model/NumberPlan.h"
#include "ui/QtText.h"
#include "ui/Widgets.h"

namespace tarvelo {

CallInPage::CallInPage(PageHost& host) : Page("TabSheet7", host) {
  auto* grid = new QGridLayout(this);
  edBehiv = MakeEdit("edBehiv", 24, this);
  grid->addWidget(new QLabel("Behívószám:", this), 0, 0);
  grid->addWidget(edBehiv, 0, 1, 1, 2);
  chkIntGW = new QCheckBox("Behívás külföldi szám esetén", this);
  chkIntGW->setObjectName("chkIntGW");
  chkNatGW = new QCheckBox("Behívás belföldi szám esetén", this);
  chkNatGW->setObjectName("chkNatGW");
  grid->addWidget(chkIntGW, 1, 0, 1, 3);
  grid->addWidget(chkNatGW, 2, 0, 1, 3);
  grid->addWidget(new QLabel("Behívásról tiltott körzetszámok:", this), 3, 0, 1, 3);
  lbGW = new QListWidget(this);
  lbGW->setObjectName("lbGW");
  lbGW->setMaximumWidth(120);
  for (int k = 0; k < kForbiddenCount; ++k) lbGW->addItem(kEmptyForbiddenText);
  grid->addWidget(lbGW, 4, 0, 4, 1);
  edGW = MakeEdit("edGW", 2, this);
  edGW->setMaximumWidth(40);
  grid->addWidget(new QLabel("Körzetszám:", this), 4, 1);
  grid->addWidget(edGW, 4, 2);
  btnGWAdd = new QPushButton("&Felvesz", this);
  btnGWAdd->setObjectName("btnGWAdd");
  btnGWDel = new QPushButton("&Töröl", this);
  btnGWDel->setObjectName("btnGWDel");
  grid->addWidget(btnGWAdd, 5, 1, 1, 2);
  grid->addWidget(btnGWDel, 6, 1, 1, 2);
  grid->setRowStretch(7, 1);
  grid->setColumnStretch(3, 1);

  for (QWidget* w : std::initializer_list<QWidget*>{edBehiv, chkIntGW, chkNatGW, lbGW}) {
    host.leave().OnLeave(w, [this] { return edBehivExit(); });
  }
  connect(lbGW, &QListWidget::itemClicked, this, [this] { lbGWClick(); });
  connect(lbGW, &QListWidget::currentRowChanged, this, [this] { lbGWClick(); });
  connect(btnGWAdd, &QPushButton::clicked, this, [this] { btnGWAddClick(); });
  connect(btnGWDel, &QPushButton::clicked, this, [this] { btnGWDelClick(); });
}

void CallInPage::Decode(const ImageView& view) {
  chkIntGW->setChecked(view.callIn.foreign);
  chkNatGW->setChecked(view.callIn.national);
  edBehiv->setText(FromCp1250(view.callIn.number));
  for (int k = 0; k < kForbiddenCount; ++k)
    lbGW->item(k)->setText(FromCp1250(view.callIn.forbidden[k]));
}

bool CallInPage::edBehivExit() {
  CallInSettings s;
  QString message;
  const auto number = ToCp1250(edBehiv->text(), &message);
  if (!number) {
    host_.dialogs().Message(message);
    return false;
  }
  s.number = *number;
  s.foreign = chkIntGW->isChecked();
  s.national = chkNatGW->isChecked();
  for (int k = 0; k < kForbiddenCount; ++k) {
    s.forbidden.push_back(ToCp1250(lbGW->item(k)->text()).value_or(""));
  }
  EncodeCallIn(host_.image(), host_.layout(), s);
  return true;
}

void CallInPage::lbGWClick() {
  if (QListWidgetItem* item = lbGW->currentItem()) edGW->setText(item->text());
}

void CallInPage::btnGWAddClick() {
  QListWidgetItem* item = lbGW->currentItem();
  if (!item) return;
  QString message;
  const auto text = ToCp1250(edGW->text(), &message);
  if (!text) {
    host_.dialogs().Message(message);
    return;
  }
  const QString entry = FromCp1250(CompleteForbiddenEntry(*text));
  edGW->setText(entry);
  item->setText(entry);
  edBehivExit();
}

void CallInPage::btnGWDelClick() {
  edGW->setText(kEmptyForbiddenText);
  btnGWAddClick();
}

}  // namespace tarvelo
