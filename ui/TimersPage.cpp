#include "ui/TimersPage.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "ui/GeneralPage.h"
#include "model/Lines.h"
#include "ui/QtText.h"
#include "ui/Widgets.h"

namespace tarvelo {
namespace {

bool IsSecondSet(Field f) {
  return f == Field::FirstTone2 || f == Field::SecondTone2 || f == Field::CoTimeout2 ||
         f == Field::CoReset2;
}
bool IsFirstSet(Field f) {
  return f == Field::FirstTone1 || f == Field::SecondTone1 || f == Field::CoTimeout1 ||
         f == Field::CoReset1;
}

}  // namespace

TimersPage::TimersPage(PageHost& host) : Page("TabSheet3", host) {
  auto* grid = new QGridLayout(this);
  auto* lblido1 = new QLabel("#1", this);
  lblido1->setObjectName("lblido1");
  lblido2 = new QLabel("#2", this);
  lblido2->setObjectName("lblido2");
  grid->addWidget(lblido1, 0, 1);
  grid->addWidget(lblido2, 0, 2);

  // Rows follow the table of byte fields; a #2 box joins the row of its #1 partner.
  int row = 1;
  int toneRow = 0;
  for (const ByteFieldRow& f : ByteFields()) {
    if (f.page != 2) continue;
    QLineEdit* edit = MakeEdit(f.control, 3, this);
    edit->setToolTip(Q(f.hint));
    edit->setMaximumWidth(60);
    host.leave().OnLeave(edit, [this, edit] { return TestByteRange(host_, edit); });
    if (IsSecondSet(f.field)) {
      grid->addWidget(edit, ++toneRow, 2);
      second_.push_back(edit);
      continue;
    }
    auto* label = new QLabel(Q(f.label), this);
    grid->addWidget(label, row, 0);
    grid->addWidget(edit, row, 1);
    if (IsFirstSet(f.field) && toneRow == 0) toneRow = row - 1;
    if (f.field == Field::LoopImpulseDelta) {
      label->setObjectName("lblDeltaLI");
      lblDeltaLI = label;
      edLI = edit;
    }
    ++row;
  }
  grid->setRowStretch(row, 1);
  grid->setColumnStretch(3, 1);
}

void TimersPage::ApplyModel(DeviceModel model) {
  const bool four = model == DeviceModel::FourLine;
  lblido2->setVisible(!four);
  for (QLineEdit* e : second_) e->setVisible(!four);
  lblDeltaLI->setVisible(four);
  edLI->setVisible(four);
}

}  // namespace tarvelo
