#include "ui/LinesPage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "ui/DialogService.h"
#include "model/Lines.h"
#include "ui/QtText.h"
#include "ui/Widgets.h"

namespace tarvelo {
namespace {

// Column widths shared by the header row and every line panel.
constexpr int kWidths[] = {24, 52, 150, 194, 84, 46, 46};
constexpr int kDialWidth4 = 216;  // three dial modes in two columns
const char* const kHeadings[] = {"Port",     "CO szám", "Tárcsázás", "Vonalfogás",
                                 "Időzítők", "Alvonal", "Behívás"};

QString Nn(int n) {
  return QString("%1").arg(n, 2, 10, QChar('0'));
}

// The line number in a control's name: the last two characters ("RGdial07" is line 7).
int LineOf(const QWidget* w) {
  return w->objectName().right(2).toInt();
}

QWidget* Narrow(QWidget* w, int width) {
  w->setFixedWidth(width);
  return w;
}

}  // namespace

LinesPage::LinesPage(PageHost& host) : Page("TabSheet2", host) {
  auto* column = new QVBoxLayout(this);
  auto* header = new QHBoxLayout;
  header->setContentsMargins(6, 0, 6, 0);
  for (size_t i = 0; i < std::size(kHeadings); ++i) {
    headings_[i] = new QLabel(kHeadings[i], this);
    header->addWidget(Narrow(headings_[i], kWidths[i]));
  }
  header->setSpacing(2);
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
    row->setSpacing(2);
    l.port = new QLabel(Nn(n), l.panel);
    l.port->setObjectName("lblPort" + Nn(n));
    QFont bold = l.port->font();
    bold.setBold(true);
    l.port->setFont(bold);
    l.co = MakeEdit("MEco" + Nn(n), 0, l.panel);
    // Two columns: the three 4-line dial modes take two rows in line 1's panel.
    l.dial = new RadioGroup("RGdial" + Nn(n), QString(), 2, l.panel);
    l.dial->setItems(DialItems(DeviceModel::SixteenLine, n));
    l.seize = new RadioGroup("RGline" + Nn(n), QString(), 2, l.panel);
    l.seize->setItems(SeizeItems());
    l.timer = new RadioGroup("RGtime" + Nn(n), QString(), 2, l.panel);
    l.timer->setItems(TimerSetItems());
    l.subLine = new QCheckBox(l.panel);
    l.subLine->setObjectName("CBalv" + Nn(n));
    l.callIn = new QCheckBox(l.panel);
    l.callIn->setObjectName("CBbeh" + Nn(n));
    QWidget* cells[] = {l.port, l.co, l.dial, l.seize, l.timer, l.subLine, l.callIn};
    for (size_t i = 0; i < std::size(cells); ++i) {
      row->addWidget(Narrow(cells[i], kWidths[i]));
      // A control hidden in one model keeps its place, so the columns stay in line.
      QSizePolicy keep = cells[i]->sizePolicy();
      keep.setRetainSizeWhenHidden(cells[i] != l.timer);  // timers go with their column
      cells[i]->setSizePolicy(keep);
    }
    for (RadioGroup* g : {l.dial, l.seize, l.timer}) {
      g->setFlat(true);
      g->setStyleSheet("QGroupBox { border: 0; margin: 0; padding: 0; }");
    }
    row->addStretch(1);
    stackLayout->addWidget(l.panel);

    for (RadioGroup* g : {l.dial, l.seize, l.timer}) {
      connect(g, &RadioGroup::clicked, this, [this, g] { RGsettingline(g); });
      leave.OnLeave(g, [this, g] {
        RGsettingline(g);
        return true;
      });
    }
    for (QCheckBox* c : {l.subLine, l.callIn}) {
      leave.OnLeave(c, [this, c] {
        RGsettingline(c);
        return true;
      });
    }
    QLineEdit* co = l.co;
    leave.OnLeave(co, [this, co] { return MEcoExit(co); });
  }
  stackLayout->addStretch(1);
  scroll->setWidget(stack);
  column->addWidget(scroll, 1);
}

void LinesPage::ApplyModel(DeviceModel model) {
  const bool four = model == DeviceModel::FourLine;
  lines_[0].dial->setItems(DialItems(model, 1));
  const int dialWidth = four ? kDialWidth4 : kWidths[2];
  headings_[2]->setFixedWidth(dialWidth);
  headings_[4]->setVisible(!four);
  for (int n = 1; n <= 16; ++n) {
    Line& l = lines_[n - 1];
    l.panel->setVisible(!four || n <= 4);
    // In the 4-line model line 1 holds the one dial and seize mode of all four lines.
    l.dial->setVisible(!four || n == 1);
    l.seize->setVisible(!four || n == 1);
    l.timer->setVisible(!four);
    l.dial->setFixedWidth(dialWidth);
  }
}

void LinesPage::Decode(const ImageView& view) {
  const bool four = host_.layout().model() == DeviceModel::FourLine;
  for (size_t n = 0; n < view.lines.size() && n < lines_.size(); ++n) {
    const LineView& v = view.lines[n];
    Line& l = lines_[n];
    l.co->setText(FromCp1250(v.coNumber));
    if (!four || n == 0) {
      l.dial->setItemIndex(v.dial);
      l.seize->setItemIndex(v.seize);
    }
    if (!four) l.timer->setItemIndex(v.timerSet);
    l.subLine->setChecked(v.subLine);
    l.callIn->setChecked(v.callIn);
  }
}

void LinesPage::RGsettingline(QWidget* sender) {
  ConfigImage& image = host_.image();
  const ImageLayout& layout = host_.layout();
  const QString name = sender->objectName();
  if (layout.model() == DeviceModel::SixteenLine) {
    // Every line is rewritten from its controls, found by name.
    std::array<LineControls16, 16> controls;
    for (int n = 1; n <= 16; ++n) {
      LineControls16& c = controls[n - 1];
      auto index = [&](const QString& stem) -> std::optional<int> {
        auto* g = findChild<RadioGroup*>(stem + Nn(n));
        if (!g || g->itemIndex() < 0) return std::nullopt;
        return g->itemIndex();
      };
      auto checked = [&](const QString& stem) -> std::optional<bool> {
        auto* b = findChild<QCheckBox*>(stem + Nn(n));
        if (!b) return std::nullopt;
        return b->isChecked();
      };
      c.seize = index("RGline");
      c.dial = index("RGdial");
      c.timerSet = index("RGtime");
      c.subLine = checked("CBalv");
      c.callIn = checked("CBbeh");
    }
    EncodeLines16(image, layout, controls);
  } else if (auto* g = qobject_cast<RadioGroup*>(sender)) {
    if (g->itemIndex() < 0) return;
    if (name.startsWith("RGdial")) EncodeDialMode4(image, layout, g->itemIndex());
    if (name.startsWith("RGline")) EncodeSeizeMode4(image, layout, g->itemIndex());
    if (name.startsWith("RGtime")) return;  // no timer sets in this model
  } else if (auto* box = qobject_cast<QCheckBox*>(sender)) {
    EncodeLineBit4(image, layout, !name.mid(2, 3).startsWith("alv"), LineOf(box), box->isChecked());
  }
  host_.SetModified();
}

bool LinesPage::MEcoExit(QLineEdit* sender) {
  QString message;
  const auto text = ToCp1250(sender->text(), &message);
  if (!text) {
    host_.dialogs().Message(message);
    return false;
  }
  EncodeCoNumber(host_.image(), host_.layout(), LineOf(sender), *text);
  host_.SetModified();
  return true;
}

}  // namespace tarvelo
