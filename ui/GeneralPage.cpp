#include "ui/GeneralPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "model/General.h"
#include "ui/DialogService.h"
#include "ui/ErrorGuard.h"
#include "ui/QtText.h"

namespace tarvelo {

GeneralPage::GeneralPage(PageHost& host) : Page("TabSheet1", host), byteBoxes_(host) {
  speedGroup_ = new RadioGroup("RGspeed", "SMDR sebesség", 2, this);
  parityGroup_ = new RadioGroup("RGbit", "Paritás", 1, this);
  parityGroup_->setItems(ParityItems());
  modeGroup_ = new RadioGroup("RGmod", "SMDR mód", 1, this);
  below20hGroup_ = new RadioGroup("RG20h", "20hex alatti karakterek", 1, this);
  below20hGroup_->setItems(Below20hItems());

  QLineEdit* coPositionEdit = byteBoxes_.Add(ByteFieldOf(Field::CoPosition), this);
  coCharCountBox_ = new QComboBox(this);
  coCharCountBox_->setObjectName("CBcokar");
  for (const auto& item : CoCharCountItems()) coCharCountBox_->addItem(Q(item));
  QLineEdit* calledPositionEdit = byteBoxes_.Add(ByteFieldOf(Field::CalledPosition), this);
  recordTerminatorEdit_ = MakeEdit("MErzk", 3, this);
  numberTerminatorEdit_ = MakeEdit("MEszamz", 1, this);
  numberTerminatorLabel_ = new QLabel("Számzáró kód:", this);
  numberTerminatorLabel_->setObjectName("lblSzamz");
  pinEnableBox_ = new QCheckBox("Pinkód engedélyezés", this);
  pinEnableBox_->setObjectName("chkPinEna");
  dstChangeBox_ = new QCheckBox("Átállás a téli/nyári időszámításra", this);
  dstChangeBox_->setObjectName("chkDSTena");
  dosUploadBox_ = new QCheckBox("DOS feltöltési protokoll engedélyezés", this);
  dosUploadBox_->setObjectName("chkDOSena");

  auto* grid = new QGridLayout(this);
  grid->addWidget(speedGroup_, 0, 0);
  grid->addWidget(parityGroup_, 0, 1);
  grid->addWidget(modeGroup_, 1, 0);
  grid->addWidget(below20hGroup_, 1, 1);
  auto* form = new QFormLayout;
  for (QLineEdit* e :
       {coPositionEdit, calledPositionEdit, recordTerminatorEdit_, numberTerminatorEdit_}) {
    e->setMaximumWidth(60);
  }
  coCharCountBox_->setMaximumWidth(60);
  form->addRow(Q(ByteFieldOf(Field::CoPosition).label), coPositionEdit);
  form->addRow("CO karakterszám:", coCharCountBox_);
  form->addRow(Q(ByteFieldOf(Field::CalledPosition).label), calledPositionEdit);
  form->addRow("Rekord záró kód:", recordTerminatorEdit_);
  form->addRow(numberTerminatorLabel_, numberTerminatorEdit_);
  grid->addLayout(form, 0, 2, 2, 1);
  auto* checks = new QVBoxLayout;
  checks->addWidget(pinEnableBox_);
  checks->addWidget(dstChangeBox_);
  checks->addWidget(dosUploadBox_);
  grid->addLayout(checks, 2, 0, 1, 3);
  grid->setRowStretch(3, 1);
  grid->setColumnStretch(3, 1);

  // Radio groups store on every click as well as when left.
  LeaveDispatcher& leave = host.leave();
  for (RadioGroup* g : {speedGroup_, parityGroup_}) {
    connect(g, &RadioGroup::clicked, this, Guarded([this] { storeSmdrFormat(); }));
    leave.OnLeave(g, [this] {
      storeSmdrFormat();
      return true;
    });
  }
  for (RadioGroup* g : {modeGroup_, below20hGroup_}) {
    connect(g, &RadioGroup::clicked, this, Guarded([this] { storeSmdrMode(); }));
    leave.OnLeave(g, [this] {
      storeSmdrMode();
      return true;
    });
  }
  leave.OnLeave(coCharCountBox_, [this] { return storeCoCharCount(); });
  leave.OnLeave(recordTerminatorEdit_, [this] { return storeRecordTerminator(); });
  leave.OnLeave(numberTerminatorEdit_, [this] { return storeNumberTerminator(); });
  for (QCheckBox* c : {pinEnableBox_, dstChangeBox_, dosUploadBox_}) {
    leave.OnLeave(c, [this] {
      storeSwitches();
      return true;
    });
  }
}

void GeneralPage::ApplyModel(DeviceModel model) {
  const bool four = model == DeviceModel::FourLine;
  speedGroup_->setItems(SmdrSpeedItems(model));
  modeGroup_->setItems(SmdrModeItems(model));
  pinEnableBox_->setVisible(four);
  dstChangeBox_->setVisible(four);
  numberTerminatorLabel_->setVisible(!four);
  numberTerminatorEdit_->setVisible(!four);
  // The 16-line model has no switch byte; the box stays in view but cannot be changed.
  dosUploadBox_->setEnabled(four);
}

void GeneralPage::Decode(const ImageView& view) {
  byteBoxes_.Decode(view);
  const GeneralSettings& g = view.general;
  speedGroup_->setItemIndex(g.format.speed);
  parityGroup_->setItemIndex(g.format.parity);
  modeGroup_->setItemIndex(g.mode.mode);
  below20hGroup_->setItemIndex(g.mode.below20h);
  recordTerminatorEdit_->setText(QString::number(g.recordTerminator));
  coCharCountBox_->setCurrentIndex(g.coCharCountIndex);
  if (host_.layout().Has(Field::NumberTerminator))
    numberTerminatorEdit_->setText(QString(QChar(g.numberTerminator)));
  if (g.switches) {
    pinEnableBox_->setChecked(g.switches->pinEnable);
    dstChangeBox_->setChecked(g.switches->dstChange);
    dosUploadBox_->setChecked(g.switches->dosUpload);
  }
}

void GeneralPage::storeSmdrFormat() {
  const int speed = speedGroup_->itemIndex();
  const int parity = parityGroup_->itemIndex();
  if (speed < 0 || parity < 0) return;
  // Passing through the group changes nothing: the byte may hold bits the choice does not
  // show (a new 4-line database has one), and they stay while the choice is the same.
  const SmdrFormatChoice stored = DecodeSmdrFormat(host_.image(), host_.layout());
  if (stored.speed == speed && stored.parity == parity) return;
  EncodeSmdrFormat(host_.image(), host_.layout(), {speed, parity});
}

void GeneralPage::storeSmdrMode() {
  const int mode = modeGroup_->itemIndex();
  const int below20h = below20hGroup_->itemIndex();
  if (mode < 0 || below20h < 0) return;
  const SmdrModeChoice stored = DecodeSmdrMode(host_.image(), host_.layout());
  if (stored.mode == mode && stored.below20h == below20h) return;
  EncodeSmdrMode(host_.image(), host_.layout(), {mode, below20h});
}

bool GeneralPage::storeCoCharCount() {
  if (const Refusal r =
          EncodeCoCharCount(host_.image(), host_.layout(), coCharCountBox_->currentIndex())) {
    host_.dialogs().Message(Q(*r));
    return false;
  }
  return true;
}

bool GeneralPage::storeRecordTerminator() {
  if (const Refusal r = EncodeRecordTerminator(host_.image(), host_.layout(),
                                               recordTerminatorEdit_->text().toStdString())) {
    host_.dialogs().Message(Q(*r));
    return false;
  }
  return true;
}

bool GeneralPage::storeNumberTerminator() {
  if (!host_.layout().Has(Field::NumberTerminator)) return true;
  if (const Refusal r = EncodeNumberTerminator(host_.image(), host_.layout(),
                                               numberTerminatorEdit_->text().toStdString())) {
    host_.dialogs().Message(Q(*r));
    return false;
  }
  return true;
}

void GeneralPage::storeSwitches() {
  EncodeSwitchBits(
      host_.image(), host_.layout(),
      {pinEnableBox_->isChecked(), dstChangeBox_->isChecked(), dosUploadBox_->isChecked()});
}

}  // namespace tarvelo
