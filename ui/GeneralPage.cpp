#include "ui/GeneralPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "model/General.h"
#include "model/Settings.h"
#include "ui/DialogService.h"
#include "ui/ErrorGuard.h"
#include "ui/QtText.h"

namespace tarvelo {
namespace {

const SettingRow& Row(const char* key) {
  return RowOf("general", key);
}

}  // namespace

GeneralPage::GeneralPage(PageHost& host) : Page("TabSheet1", host), byteBoxes_(host) {
  speedGroup_ = new RadioGroup("RGspeed", Caption(Row("smdrSpeed")), 2, this);
  parityGroup_ = new RadioGroup("RGbit", Caption(Row("parity")), 1, this);
  parityGroup_->setItems(Row("parity").items(DeviceModel::FourLine, 0));
  modeGroup_ = new RadioGroup("RGmod", Caption(Row("smdrMode")), 1, this);
  below20hGroup_ = new RadioGroup("RG20h", Caption(Row("below20h")), 1, this);
  below20hGroup_->setItems(Row("below20h").items(DeviceModel::FourLine, 0));

  QLineEdit* coPositionEdit = byteBoxes_.Add(ByteFieldOf(Field::CoPosition), this);
  coCharCountBox_ = new QComboBox(this);
  coCharCountBox_->setObjectName("CBcokar");
  for (const auto& item : CoCharCountItems()) coCharCountBox_->addItem(Q(item));
  QLineEdit* calledPositionEdit = byteBoxes_.Add(ByteFieldOf(Field::CalledPosition), this);
  recordTerminatorEdit_ = MakeEdit("MErzk", 3, this);
  numberTerminatorEdit_ = MakeEdit("MEszamz", 1, this);
  numberTerminatorLabel_ = MakeLabel(Row("numberTerminator"), numberTerminatorEdit_, this);
  numberTerminatorLabel_->setObjectName("lblSzamz");
  pinEnableBox_ = new QCheckBox(Caption(Row("pinEnable")), this);
  pinEnableBox_->setObjectName("chkPinEna");
  dstChangeBox_ = new QCheckBox(Caption(Row("dstChange")), this);
  dstChangeBox_->setObjectName("chkDSTena");
  dosUploadBox_ = new QCheckBox(Caption(Row("dosUpload")), this);
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
  auto addRow = [this, form](const SettingRow& row, QWidget* box) {
    form->addRow(MakeLabel(row, box, this), box);
  };
  addRow(RowOfBox(ByteFieldOf(Field::CoPosition)), coPositionEdit);
  addRow(Row("coCharCount"), coCharCountBox_);
  addRow(RowOfBox(ByteFieldOf(Field::CalledPosition)), calledPositionEdit);
  addRow(Row("recordTerminator"), recordTerminatorEdit_);
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
  speedGroup_->setItems(Row("smdrSpeed").items(model, 0));
  modeGroup_->setItems(Row("smdrMode").items(model, 0));
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

// Passing through a group changes nothing: the byte may hold bits the choice does not show
// (a new 4-line database has one), and they stay while the choice is the same.
void GeneralPage::storeChoice(const RadioGroup* group, const char* key) {
  const int chosen = group->itemIndex();
  if (chosen < 0) return;
  const SettingRow& row = Row(key);
  const QString item = group->items().value(chosen);
  if (ReadSetting(host_, row) == item.toStdString()) return;
  StoreSetting(host_, row, 0, item);
}

void GeneralPage::storeSmdrFormat() {
  storeChoice(speedGroup_, "smdrSpeed");
  storeChoice(parityGroup_, "parity");
}

void GeneralPage::storeSmdrMode() {
  storeChoice(modeGroup_, "smdrMode");
  storeChoice(below20hGroup_, "below20h");
}

bool GeneralPage::storeCoCharCount() {
  return StoreSetting(host_, Row("coCharCount"), 0, coCharCountBox_->currentText());
}

bool GeneralPage::storeRecordTerminator() {
  return StoreSetting(host_, Row("recordTerminator"), 0, recordTerminatorEdit_->text());
}

bool GeneralPage::storeNumberTerminator() {
  const SettingRow& row = Row("numberTerminator");
  if (!row.In(host_.layout().model())) return true;  // its box is hidden in that model
  return StoreSetting(host_, row, 0, numberTerminatorEdit_->text());
}

void GeneralPage::storeSwitches() {
  const std::pair<const QCheckBox*, const char*> switches[] = {
      {pinEnableBox_, "pinEnable"}, {dstChangeBox_, "dstChange"}, {dosUploadBox_, "dosUpload"}};
  for (const auto& [box, key] : switches) {
    const SettingRow& row = Row(key);
    // The 16-line model has no switch byte.
    if (row.In(host_.layout().model())) StoreSetting(host_, row, 0, YesNo(box->isChecked()));
  }
}

}  // namespace tarvelo
