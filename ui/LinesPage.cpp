#include "ui/LinesPage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "model/Lines.h"
#include "ui/DialogService.h"
#include "ui/ErrorGuard.h"
#include "ui/QtText.h"
#include "ui/Widgets.h"

namespace tarvelo {
namespace {

// Room between two columns, in the header row and in every line panel.
constexpr int kGap = 6;
// The settings of a line, in the order of the columns after the port number.
const char* const kColumnKeys[] = {"coNumber", "dial", "seize", "timerSet", "subLine", "callIn"};
constexpr size_t kColumns = std::size(kColumnKeys) + 1;

const SettingRow& Row(const char* key) {
  return RowOf("", key);
}

QString Heading(size_t column) {
  if (column == 0) return Q(ListOf(SettingListId::Lines).entryCaption);
  return Caption(Row(kColumnKeys[column - 1]));
}

QString Nn(int n) {
  return QString("%1").arg(n, 2, 10, QChar('0'));
}

}  // namespace

LinesPage::LinesPage(PageHost& host) : Page("TabSheet2", host) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(4, 4, 4, 4);
  auto* header = new QHBoxLayout;
  for (size_t i = 0; i < kColumns; ++i) {
    headings_[i] = new QLabel(Heading(i), this);
    header->addWidget(headings_[i]);
  }
  header->setSpacing(kGap);
  header->addStretch(1);
  column->addLayout(header);

  auto* scroll = new QScrollArea(this);
  scroll->setObjectName("sbLines");
  scroll->setWidgetResizable(true);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* stack = new QWidget(scroll);
  auto* stackLayout = new QVBoxLayout(stack);
  stackLayout->setSpacing(1);  // each panel 1 pixel below the one before
  stackLayout->setContentsMargins(0, 0, 0, 0);
  LeaveDispatcher& leave = host.leave();
  for (int n = 1; n <= 16; ++n) {
    Line& l = lines_[n - 1];
    l.panel = new QFrame(stack);
    static_cast<QFrame*>(l.panel)->setFrameShape(QFrame::StyledPanel);
    l.panel->setObjectName("pnlCO" + Nn(n));
    auto* row = new QHBoxLayout(l.panel);
    row->setContentsMargins(4, 0, 4, 0);
    row->setSpacing(kGap);
    l.port = new QLabel(Nn(n), l.panel);
    l.port->setObjectName("lblPort" + Nn(n));
    QFont bold = l.port->font();
    bold.setBold(true);
    l.port->setFont(bold);
    l.coNumber = MakeEdit("MEco" + Nn(n), 0, l.panel);
    // Two columns: the three 4-line dial modes take two rows in line 1's panel.
    l.dial = new RadioGroup("RGdial" + Nn(n), QString(), 2, l.panel);
    l.dial->setItems(Row("dial").items(DeviceModel::SixteenLine, n));
    l.seize = new RadioGroup("RGline" + Nn(n), QString(), 2, l.panel);
    l.seize->setItems(Row("seize").items(DeviceModel::SixteenLine, n));
    l.timerSet = new RadioGroup("RGtime" + Nn(n), QString(), 2, l.panel);
    l.timerSet->setItems(Row("timerSet").items(DeviceModel::SixteenLine, n));
    l.subLine = new QCheckBox(l.panel);
    l.subLine->setObjectName("CBalv" + Nn(n));
    l.callIn = new QCheckBox(l.panel);
    l.callIn->setObjectName("CBbeh" + Nn(n));
    QWidget* cells[] = {l.port, l.coNumber, l.dial, l.seize, l.timerSet, l.subLine, l.callIn};
    for (size_t i = 0; i < std::size(cells); ++i) {
      row->addWidget(cells[i]);
      // A control hidden in one model keeps its place, so the columns stay in line.
      QSizePolicy keep = cells[i]->sizePolicy();
      keep.setRetainSizeWhenHidden(cells[i] != l.timerSet);  // timers go with their column
      cells[i]->setSizePolicy(keep);
    }
    for (RadioGroup* g : {l.dial, l.seize, l.timerSet}) {
      g->setFlat(true);
      g->setStyleSheet("QGroupBox { border: 0; margin: 0; padding: 0; }");
    }
    row->addStretch(1);
    stackLayout->addWidget(l.panel);

    // Radio groups store on every click as well as when left.
    const std::pair<RadioGroup*, LineControl> groups[] = {{l.dial, LineControl::Dial},
                                                          {l.seize, LineControl::Seize},
                                                          {l.timerSet, LineControl::TimerSet}};
    for (const auto& [group, control] : groups) {
      connect(group, &RadioGroup::clicked, this,
              Guarded([this, n, control = control] { storeLineSetting(n, control); }));
      leave.OnLeave(group, [this, n, control = control] {
        storeLineSetting(n, control);
        return true;
      });
    }
    const std::pair<QCheckBox*, LineControl> boxes[] = {{l.subLine, LineControl::SubLine},
                                                        {l.callIn, LineControl::CallIn}};
    for (const auto& [box, control] : boxes) {
      leave.OnLeave(box, [this, n, control = control] {
        storeLineSetting(n, control);
        return true;
      });
    }
    leave.OnLeave(l.coNumber, [this, n] { return storeCoNumber(n); });
  }
  stackLayout->addStretch(1);
  scroll->setWidget(stack);
  const Line& first = lines_[0];
  QWidget* firstCells[] = {first.port,     first.coNumber, first.dial,  first.seize,
                           first.timerSet, first.subLine,  first.callIn};
  for (size_t i = 0; i < kColumns; ++i) headings_[i]->setBuddy(firstCells[i]);
  column->addWidget(scroll, 1);

  // The header's first column starts where the panels' first column does.
  const int inset = scroll->frameWidth() + static_cast<QFrame*>(lines_[0].panel)->frameWidth() + 4;
  header->setContentsMargins(inset, 0, 0, 0);
  SizeColumns();
}

// Every column is as wide as the wider of its heading and its controls in the font in use,
// so neither runs into the next.
void LinesPage::SizeColumns() {
  ensurePolished();  // the size hints depend on the style sheets of the groups
  const Line& l = lines_[0];
  auto wide = [](QWidget* w) { return w->sizeHint().width(); };
  QFontMetrics boldMetrics(l.port->font());
  QFontMetrics editMetrics(l.coNumber->font());
  RadioGroup* dial16 = lines_[1].dial;  // its items never change
  const int cells[] = {boldMetrics.horizontalAdvance("00"),
                       editMetrics.horizontalAdvance("0000") + 14,  // four characters and a frame
                       wide(dial16),
                       wide(l.seize),
                       wide(l.timerSet),
                       wide(l.subLine),
                       wide(l.callIn)};
  for (size_t i = 0; i < std::size(cells); ++i) {
    widths_[i] = std::max(cells[i], headings_[i]->sizeHint().width());
  }
  // Line 1's dial group holds the three 4-line modes in two columns in that model.
  l.dial->setItems(Row("dial").items(DeviceModel::FourLine, 1));
  dialWidth4_ = std::max(widths_[2], wide(l.dial));
  l.dial->setItems(Row("dial").items(DeviceModel::SixteenLine, 1));
  for (size_t i = 0; i < kColumns; ++i) headings_[i]->setFixedWidth(widths_[i]);
  for (Line& line : lines_) {
    QWidget* row[] = {line.port,     line.coNumber, line.dial,  line.seize,
                      line.timerSet, line.subLine,  line.callIn};
    for (size_t i = 0; i < std::size(row); ++i) row[i]->setFixedWidth(widths_[i]);
  }
}

void LinesPage::ApplyModel(DeviceModel model) {
  const bool four = model == DeviceModel::FourLine;
  lines_[0].dial->setItems(Row("dial").items(model, 1));
  const int dialWidth = four ? dialWidth4_ : widths_[2];
  headings_[2]->setFixedWidth(dialWidth);
  headings_[4]->setVisible(!four);
  for (int n = 1; n <= 16; ++n) {
    Line& l = lines_[n - 1];
    l.panel->setVisible(!four || n <= 4);
    // In the 4-line model line 1 holds the one dial and seize mode of all four lines.
    l.dial->setVisible(!four || n == 1);
    l.seize->setVisible(!four || n == 1);
    l.timerSet->setVisible(!four);
    l.dial->setFixedWidth(dialWidth);
  }
}

void LinesPage::Decode(const ImageView& view) {
  const bool four = host_.layout().model() == DeviceModel::FourLine;
  for (size_t n = 0; n < view.lines.size() && n < lines_.size(); ++n) {
    const LineView& v = view.lines[n];
    Line& l = lines_[n];
    l.coNumber->setText(FromCp1250(v.coNumber));
    if (!four || n == 0) {
      l.dial->setItemIndex(v.dial);
      l.seize->setItemIndex(v.seize);
    }
    if (!four) l.timerSet->setItemIndex(v.timerSet);
    l.subLine->setChecked(v.subLine);
    l.callIn->setChecked(v.callIn);
  }
}

void LinesPage::storeLineSetting(int n, LineControl control) {
  if (host_.layout().model() == DeviceModel::SixteenLine) {
    storeAllLines16();
    return;
  }
  const Line& l = line(n);
  const RadioGroup* group = control == LineControl::Dial       ? l.dial
                            : control == LineControl::Seize    ? l.seize
                            : control == LineControl::TimerSet ? l.timerSet
                                                               : nullptr;
  const char* const key = control == LineControl::Dial       ? "dial"
                          : control == LineControl::Seize    ? "seize"
                          : control == LineControl::TimerSet ? "timerSet"
                          : control == LineControl::SubLine  ? "subLine"
                                                             : "callIn";
  const SettingRow& row = Row(key);
  if (!row.In(DeviceModel::FourLine)) return;  // one timer set in this model
  QString value;
  if (group) {
    if (group->itemIndex() < 0) return;
    value = group->items().value(group->itemIndex());
  } else {
    value = YesNo((control == LineControl::SubLine ? l.subLine : l.callIn)->isChecked());
  }
  StoreSetting(host_, row, n, value);
}

// Leaving any line control rewrites the bytes of all 16 lines from what their controls show
// (bits 5..7 come out 0), where a row would store one control of one line.
void LinesPage::storeAllLines16() {
  std::array<LineControls16, 16> controls;
  for (int n = 1; n <= 16; ++n) {
    const Line& l = line(n);
    auto index = [](const RadioGroup* g) -> std::optional<int> {
      if (g->itemIndex() < 0) return std::nullopt;
      return g->itemIndex();
    };
    controls[n - 1] = {index(l.seize), index(l.dial), index(l.timerSet), l.subLine->isChecked(),
                       l.callIn->isChecked()};
  }
  EncodeLines16(host_.image(), host_.layout(), controls);
}

// The box takes any length; the field keeps as many characters as the CO character count.
bool LinesPage::storeCoNumber(int n) {
  const QString typed = line(n).coNumber->text();
  QString message;
  if (!ToCp1250(typed, &message)) {
    host_.dialogs().Message(message);
    return false;
  }
  const int width = CoNumberWidth(host_.image(), host_.layout());
  return StoreSetting(host_, Row("coNumber"), n, typed.left(width));
}

}  // namespace tarvelo
