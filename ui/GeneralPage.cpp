#include "ui/GeneralPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "ui/DialogService.h"
#include "model/General.h"
#include "ui/QtText.h"
#include "ui/Widgets.h"

namespace tarvelo {

bool TestByteRange(PageHost& host, QLineEdit* edit) {
  const long offset = OffsetOf(edit);
  if (offset < 0) return true;  // never decoded: nothing to store into yet
  if (const Refusal r = tarvelo::TestByteRange(host.image(), offset, edit->text().toStdString())) {
    host.dialogs().Message(Q(*r));
    return false;
  }
  host.SetModified();
  return true;
}

GeneralPage::GeneralPage(PageHost& host) : Page("TabSheet1", host) {
  RGspeed = new RadioGroup("RGspeed", "SMDR sebesség", 2, this);
  RGbit = new RadioGroup("RGbit", "Paritás", 1, this);
  RGbit->setItems(ParityItems());
  RGmod = new RadioGroup("RGmod", "SMDR mód", 1, this);
  RG20h = new RadioGroup("RG20h", "20hex alatti karakterek", 1, this);
  RG20h->setItems(Below20hItems());

  MEcopos = MakeEdit("MEcopos", 3, this);
  CBcokar = new QComboBox(this);
  CBcokar->setObjectName("CBcokar");
  for (const auto& item : CoCharCountItems()) CBcokar->addItem(Q(item));
  MEcallpos = MakeEdit("MEcallpos", 3, this);
  MErzk = MakeEdit("MErzk", 3, this);
  MEszamz = MakeEdit("MEszamz", 1, this);
  lblSzamz = new QLabel("Számzáró kód:", this);
  lblSzamz->setObjectName("lblSzamz");
  chkPinEna = new QCheckBox("Pinkód engedélyezés", this);
  chkPinEna->setObjectName("chkPinEna");
  chkDSTena = new QCheckBox("Átállás a téli/nyári időszámításra", this);
  chkDSTena->setObjectName("chkDSTena");
  chkDOSena = new QCheckBox("DOS feltöltési protokoll engedélyezés", this);
  chkDOSena->setObjectName("chkDOSena");

  auto* grid = new QGridLayout(this);
  grid->addWidget(RGspeed, 0, 0);
  grid->addWidget(RGbit, 0, 1);
  grid->addWidget(RGmod, 1, 0);
  grid->addWidget(RG20h, 1, 1);
  auto* form = new QFormLayout;
  for (QLineEdit* e : {MEcopos, MEcallpos, MErzk, MEszamz}) e->setMaximumWidth(60);
  CBcokar->setMaximumWidth(60);
  form->addRow("CO pozíció:", MEcopos);
  form->addRow("CO karakterszám:", CBcokar);
  form->addRow("Hívottszám pozíció:", MEcallpos);
  form->addRow("Rekord záró kód:", MErzk);
  form->addRow(lblSzamz, MEszamz);
  grid->addLayout(form, 0, 2, 2, 1);
  auto* checks = new QVBoxLayout;
  checks->addWidget(chkPinEna);
  checks->addWidget(chkDSTena);
  checks->addWidget(chkDOSena);
  grid->addLayout(checks, 2, 0, 1, 3);
  grid->setRowStretch(3, 1);
  grid->setColumnStretch(3, 1);

  LeaveDispatcher& leave = host.leave();
  connect(RGspeed, &RadioGroup::clicked, this, [this] { RGspeedExit(); });
  connect(RGbit, &RadioGroup::clicked, this, [this] { RGspeedExit(); });
  connect(RGmod, &RadioGroup::clicked, this, [this] { RGmodExit(); });
  connect(RG20h, &RadioGroup::clicked, this, [this] { RGmodExit(); });
  for (RadioGroup* g : {RGspeed, RGbit})
    leave.OnLeave(g, [this] {
      RGspeedExit();
      return true;
    });
  for (RadioGroup* g : {RGmod, RG20h})
    leave.OnLeave(g, [this] {
      RGmodExit();
      return true;
    });
  for (QLineEdit* e : {MEcopos, MEcallpos}) {
    leave.OnLeave(e, [this, e] { return TestByteRange(host_, e); });
  }
  leave.OnLeave(CBcokar, [this] { return CBcokarExit(); });
  leave.OnLeave(MErzk, [this] { return MErzkExit(); });
  leave.OnLeave(MEszamz, [this] { return MEszamzExit(); });
  for (QCheckBox* c : {chkPinEna, chkDSTena, chkDOSena}) {
    leave.OnLeave(c, [this] {
      chkPinEnaExit();
      return true;
    });
  }
}

void GeneralPage::ApplyModel(DeviceModel model) {
  const bool four = model == DeviceModel::FourLine;
  RGspeed->setItems(SmdrSpeedItems(model));
  RGmod->setItems(SmdrModeItems(model));
  chkPinEna->setVisible(four);
  chkDSTena->setVisible(four);
  lblSzamz->setVisible(!four);
  MEszamz->setVisible(!four);
  // The 16-line model has no switch byte; the box stays in view but cannot be changed.
  chkDOSena->setEnabled(four);
}

void GeneralPage::Decode(const ImageView& view) {
  const GeneralSettings& g = view.general;
  RGspeed->setItemIndex(g.format.speed);
  RGbit->setItemIndex(g.format.parity);
  RGmod->setItemIndex(g.mode.mode);
  RG20h->setItemIndex(g.mode.below20h);
  MErzk->setText(QString::number(g.recordTerminator));
  CBcokar->setCurrentIndex(g.coCharCountIndex);
  if (host_.layout().Has(Field::NumberTerminator))
    MEszamz->setText(QString(QChar(g.numberTerminator)));
  if (g.switches) {
    chkPinEna->setChecked(g.switches->pinEnable);
    chkDSTena->setChecked(g.switches->dstChange);
    chkDOSena->setChecked(g.switches->dosUpload);
  }
}

void GeneralPage::RGspeedExit() {
  if (RGspeed->itemIndex() < 0 || RGbit->itemIndex() < 0) return;
  EncodeSmdrFormat(host_.image(), host_.layout(), {RGspeed->itemIndex(), RGbit->itemIndex()});
  host_.SetModified();
}

void GeneralPage::RGmodExit() {
  if (RGmod->itemIndex() < 0 || RG20h->itemIndex() < 0) return;
  EncodeSmdrMode(host_.image(), host_.layout(), {RGmod->itemIndex(), RG20h->itemIndex()});
  host_.SetModified();
}

bool GeneralPage::CBcokarExit() {
  if (const Refusal r = EncodeCoCharCount(host_.image(), host_.layout(), CBcokar->currentIndex())) {
    host_.dialogs().Message(Q(*r));
    return false;
  }
  host_.SetModified();
  return true;
}

bool GeneralPage::MErzkExit() {
  if (const Refusal r =
          EncodeRecordTerminator(host_.image(), host_.layout(), MErzk->text().toStdString())) {
    host_.dialogs().Message(Q(*r));
    return false;
  }
  host_.SetModified();
  return true;
}

bool GeneralPage::MEszamzExit() {
  if (!host_.layout().Has(Field::NumberTerminator)) return true;
  if (const Refusal r =
          EncodeNumberTerminator(host_.image(), host_.layout(), MEszamz->text().toStdString())) {
    host_.dialogs().Message(Q(*r));
    return false;
  }
  host_.SetModified();
  return true;
}

void GeneralPage::chkPinEnaExit() {
  EncodeSwitchBits(host_.image(), host_.layout(),
                   {chkPinEna->isChecked(), chkDSTena->isChecked(), chkDOSena->isChecked()});
}

}  // namespace tarvelo
