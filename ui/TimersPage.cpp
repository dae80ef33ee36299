#include "ui/TimersPage.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "model/Lines.h"
#include "model/Pages.h"
#include "ui/QtText.h"

namespace tarvelo {

TimersPage::TimersPage(PageHost& host) : Page("TabSheet3", host), byteBoxes_(host) {
  auto* grid = new QGridLayout(this);
  // The sets are named as a line's timer set choice names them.
  const std::vector<std::string>& sets = RowOf("", "timerSet").items(DeviceModel::SixteenLine, 1);
  auto* set1Heading = new QLabel(Q(sets.at(0)), this);
  set1Heading->setObjectName("lblido1");
  set2Heading_ = new QLabel(Q(sets.at(1)), this);
  set2Heading_->setObjectName("lblido2");

  // Rows follow the table of byte fields. The headings stand right above the rows of the
  // timer sets, the k-th box of set #2 beside the k-th box of set #1.
  int row = 0;
  std::vector<int> set1Rows;
  for (const ByteFieldRow& f : ByteFields()) {
    if (f.page != static_cast<int>(PageId::Timers)) continue;
    QLineEdit* edit = byteBoxes_.Add(f, this);
    edit->setToolTip(Q(f.hint));
    edit->setMaximumWidth(60);
    if (f.timerSet == 2) {
      grid->addWidget(edit, set1Rows.at(set2Edits_.size()), 2);
      set2Edits_.push_back(edit);
      continue;
    }
    if (f.timerSet == 1 && set1Rows.empty()) {
      grid->addWidget(set1Heading, row, 1);
      grid->addWidget(set2Heading_, row, 2);
      ++row;
    }
    QLabel* label = MakeLabel(RowOfBox(f), edit, this);
    grid->addWidget(label, row, 0);
    grid->addWidget(edit, row, 1);
    if (f.timerSet == 1) set1Rows.push_back(row);
    if (f.field == Field::LoopImpulseDelta) {
      label->setObjectName("lblDeltaLI");
      loopImpulseLabel_ = label;
      loopImpulseEdit_ = edit;
    }
    ++row;
  }
  grid->setRowStretch(row, 1);
  grid->setColumnStretch(3, 1);
}

void TimersPage::ApplyModel(DeviceModel model) {
  const bool four = model == DeviceModel::FourLine;
  set2Heading_->setVisible(!four);
  for (QLineEdit* e : set2Edits_) e->setVisible(!four);
  loopImpulseLabel_->setVisible(four);
  loopImpulseEdit_->setVisible(four);
}

void TimersPage::Decode(const ImageView& view) {
  byteBoxes_.Decode(view);
}

}  // namespace tarvelo
