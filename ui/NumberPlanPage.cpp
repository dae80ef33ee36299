#include "ui/NumberPlanPage.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>

#include "ui/DialogService.h"
#include "ui/GeneralPage.h"
#include "ui/QtText.h"
#include "ui/Widgets.h"

namespace tarvelo {
namespace {

// Draws an exception row: the area code at the left edge, the length at the middle.
class ExceptionDelegate : public QStyledItemDelegate {
 public:
  ExceptionDelegate(const NumberPlanPage* page, QObject* parent)
      : QStyledItemDelegate(parent), page_(page) {}
  void paint(QPainter* p, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem blank = option;
    initStyleOption(&blank, index);
    blank.text.clear();
    option.widget->style()->drawControl(QStyle::CE_ItemViewItem, &blank, p, option.widget);
    const ExceptionCells cells = page_->DrawnRow(index.row());
    const QRect r = option.rect.adjusted(2, 0, 0, 0);
    p->save();
    p->setPen(option.state & QStyle::State_Selected
                  ? option.palette.color(QPalette::HighlightedText)
                  : option.palette.color(QPalette::Text));
    p->drawText(r, Qt::AlignVCenter | Qt::AlignLeft, FromCp1250(cells.areaCode));
    p->drawText(r.adjusted(r.width() / 2, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                FromCp1250(cells.length));
    p->restore();
  }

 private:
  const NumberPlanPage* page_;
};

}  // namespace

NumberPlanPage::NumberPlanPage(PageHost& host) : Page("TabSheet4", host) {
  auto* grid = new QGridLayout(this);
  int row = 0;
  for (const ByteFieldRow& f : ByteFields()) {
    if (f.page != 3) continue;
    QLineEdit* edit = MakeEdit(f.control, 3, this);
    edit->setMaximumWidth(60);
    host.leave().OnLeave(edit, [this, edit] { return TestByteRange(host_, edit); });
    grid->addWidget(new QLabel(Q(f.label), this), row, 0);
    grid->addWidget(edit, row, 1);
    ++row;
  }

  grid->addWidget(new QLabel("Belföldi kivételek (Körzetszám:Hossz):", this), row++, 0, 1, 3);
  lbKiv = new QListWidget(this);
  lbKiv->setObjectName("lbKiv");
  lbKiv->setItemDelegate(new ExceptionDelegate(this, lbKiv));
  lbKiv->setMaximumWidth(180);
  for (int i = 0; i < kExceptionCount; ++i) lbKiv->addItem(kEmptyExceptionText);
  grid->addWidget(lbKiv, row, 0, 4, 1);
  edKivSzam = MakeEdit("edKivSzam", 4, this);
  edKivHossz = MakeEdit("edKivHossz", 2, this);
  edKivSzam->setMaximumWidth(60);
  edKivHossz->setMaximumWidth(40);
  btnKivEdit = new QPushButton("&Módosítás", this);
  btnKivEdit->setObjectName("btnKivEdit");
  btnKivDel = new QPushButton("&Törlés", this);
  btnKivDel->setObjectName("btnKivDel");
  auto* edits = new QHBoxLayout;
  edits->addWidget(edKivSzam);
  edits->addWidget(edKivHossz);
  edits->addStretch(1);
  grid->addLayout(edits, row, 1);
  grid->addWidget(btnKivEdit, row + 1, 1);
  grid->addWidget(btnKivDel, row + 2, 1);

  pnlPref = new QWidget(this);
  pnlPref->setObjectName("pnlPref");
  auto* prefs = new QGridLayout(pnlPref);
  prefs->addWidget(new QLabel("Mobil prefixek:", pnlPref), 0, 0, 1, 4);
  for (int k = 0; k < 4; ++k) {
    edMP[k] = MakeEdit(QString("edMP0%1").arg(k + 1), 4, pnlPref);
    edMP[k]->setFixedWidth(56);
    prefs->addWidget(edMP[k], 1, k);
  }
  prefs->addWidget(new QLabel("Nemzetközi prefixek:", pnlPref), 2, 0, 1, 4);
  for (int k = 0; k < 2; ++k) {
    edIP[k] = MakeEdit(QString("edIP0%1").arg(k + 1), 2, pnlPref);
    edIP[k]->setFixedWidth(56);
    prefs->addWidget(edIP[k], 3, k);
  }
  grid->addWidget(pnlPref, row, 2, 4, 1, Qt::AlignTop);
  grid->setRowStretch(row + 3, 1);
  grid->setColumnStretch(3, 1);

  connect(lbKiv, &QListWidget::itemClicked, this, [this] { lbKivClick(); });
  connect(lbKiv, &QListWidget::currentRowChanged, this, [this] { lbKivClick(); });
  connect(btnKivEdit, &QPushButton::clicked, this, [this] { btnKivEditClick(); });
  connect(btnKivDel, &QPushButton::clicked, this, [this] { btnKivDelClick(); });
  host.leave().OnLeave(lbKiv, [this] { return lbKivExit(); });
  for (QLineEdit* e : edMP) host.leave().OnLeave(e, [this] { return lbKivExit(); });
  for (QLineEdit* e : edIP) host.leave().OnLeave(e, [this] { return lbKivExit(); });
}

void NumberPlanPage::ApplyModel(DeviceModel model) {
  pnlPref->setVisible(model == DeviceModel::FourLine);
  lbKiv->viewport()->update();
}

void NumberPlanPage::Decode(const ImageView& view) {
  for (int i = 0; i < kExceptionCount; ++i)
    lbKiv->item(i)->setText(FromCp1250(view.exceptionTexts[i]));
  if (view.prefixes) {
    for (int k = 0; k < 4; ++k) edMP[k]->setText(FromCp1250(view.prefixes->mobile[k]));
    for (int k = 0; k < 2; ++k) edIP[k]->setText(FromCp1250(view.prefixes->international[k]));
  }
  lbKiv->viewport()->update();
}

ExceptionCells NumberPlanPage::DrawnRow(int index) const {
  const auto text = ToCp1250(lbKiv->item(index)->text());
  return ExceptionRow(host_.image(), host_.layout(), text.value_or(""), index);
}

void NumberPlanPage::lbKivClick() {
  const int i = lbKiv->currentRow();
  if (i < 0) return;
  const ExceptionCells cells = DrawnRow(i);
  edKivSzam->setText(FromCp1250(cells.areaCode));
  edKivHossz->setText(FromCp1250(cells.length));
}

void NumberPlanPage::btnKivEditClick() {
  const int i = lbKiv->currentRow();
  if (i < 0) return;
  QString message;
  const auto code = ToCp1250(edKivSzam->text(), &message);
  if (!code) {
    host_.dialogs().Message(message);
    return;
  }
  const std::string length = edKivHossz->text().toStdString();
  if (host_.layout().model() == DeviceModel::FourLine) {
    std::string text;
    if (const Refusal r = MakeExceptionText(*code, length, text)) {
      host_.dialogs().Message(Q(*r));
      edKivHossz->setFocus();
      return;
    }
    lbKiv->item(i)->setText(FromCp1250(text));
    lbKivExit();
  } else {
    if (const Refusal r = EditException16(host_.image(), host_.layout(), i, *code, length)) {
      host_.dialogs().Message(Q(*r));
      edKivHossz->setFocus();
      return;
    }
  }
  lbKiv->viewport()->update();
}

void NumberPlanPage::btnKivDelClick() {
  if (host_.layout().model() == DeviceModel::FourLine) {
    edKivSzam->setText("====");
    edKivHossz->setText("00");
    btnKivEditClick();
    return;
  }
  const int i = lbKiv->currentRow();
  if (i < 0) return;
  DeleteException16(host_.image(), host_.layout(), i);
  lbKiv->viewport()->update();
}

bool NumberPlanPage::lbKivExit() {
  if (host_.layout().model() != DeviceModel::FourLine) return true;
  Prefixes prefixes;
  QString message;
  auto take = [&](QLineEdit* edit, std::string& into) {
    const auto text = ToCp1250(edit->text(), &message);
    if (text) into = *text;
    return text.has_value();
  };
  bool typed = true;
  for (int k = 0; k < 4; ++k) typed = typed && take(edMP[k], prefixes.mobile[k]);
  for (int k = 0; k < 2; ++k) typed = typed && take(edIP[k], prefixes.international[k]);
  if (!typed) {
    host_.dialogs().Message(message);
    return false;
  }
  std::vector<std::string> texts;
  for (int i = 0; i < kExceptionCount; ++i)
    texts.push_back(ToCp1250(lbKiv->item(i)->text()).value_or(""));
  if (const Refusal r = StoreNumberPlan4(host_.image(), host_.layout(), texts, prefixes)) {
    host_.dialogs().Message(Q(*r));
    return false;
  }
  for (int k = 0; k < 4; ++k) edMP[k]->setText(FromCp1250(prefixes.mobile[k]));
  for (int k = 0; k < 2; ++k) edIP[k]->setText(FromCp1250(prefixes.international[k]));
  return true;
}

}  // namespace tarvelo
