#include "ui/NumberPlanPage.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>

#include "model/Pages.h"
#include "ui/DialogService.h"
#include "ui/ErrorGuard.h"
#include "ui/QtText.h"
#include "ui/Widgets.h"

namespace tarvelo {
namespace {

constexpr int kMobileWidth = 4;
constexpr int kInternationalWidth = 2;

const SettingRow& Row(const char* key) {
  return RowOf("numberPlan", key);
}

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

NumberPlanPage::NumberPlanPage(PageHost& host) : Page("TabSheet4", host), byteBoxes_(host) {
  auto* grid = new QGridLayout(this);
  int row = 0;
  for (const ByteFieldRow& f : ByteFields()) {
    if (f.page != static_cast<int>(PageId::NumberPlan)) continue;
    QLineEdit* edit = byteBoxes_.Add(f, this);
    edit->setMaximumWidth(60);
    grid->addWidget(MakeLabel(RowOfBox(f), edit, this), row, 0);
    grid->addWidget(edit, row, 1);
    ++row;
  }

  exceptionList_ = new QListWidget(this);
  exceptionList_->setObjectName("lbKiv");
  grid->addWidget(MakeLabel(Row("exceptions"), exceptionList_, this), row++, 0, 1, 3);
  exceptionList_->setItemDelegate(new ExceptionDelegate(this, exceptionList_));
  exceptionList_->setMaximumWidth(180);
  for (int i = 0; i < kExceptionCount; ++i) exceptionList_->addItem(kEmptyExceptionText);
  grid->addWidget(exceptionList_, row, 0, 4, 1);
  areaCodeEdit_ = MakeEdit("edKivSzam", 4, this);
  // Three characters: a stored length of 100..255 is shown whole.
  lengthEdit_ = MakeEdit("edKivHossz", 3, this);
  areaCodeEdit_->setMaximumWidth(60);
  lengthEdit_->setMaximumWidth(40);
  editButton_ = new QPushButton("&Módosítás", this);
  editButton_->setObjectName("btnKivEdit");
  deleteButton_ = new QPushButton("&Törlés", this);
  deleteButton_->setObjectName("btnKivDel");
  auto* edits = new QHBoxLayout;
  edits->addWidget(areaCodeEdit_);
  edits->addWidget(lengthEdit_);
  edits->addStretch(1);
  grid->addLayout(edits, row, 1);
  grid->addWidget(editButton_, row + 1, 1);
  grid->addWidget(deleteButton_, row + 2, 1);

  prefixPanel_ = new QWidget(this);
  prefixPanel_->setObjectName("pnlPref");
  auto* prefs = new QGridLayout(prefixPanel_);
  for (int k = 0; k < 4; ++k) {
    mobilePrefixEdits_[k] = MakeEdit(QString("edMP0%1").arg(k + 1), kMobileWidth, prefixPanel_);
    mobilePrefixEdits_[k]->setFixedWidth(56);
    prefs->addWidget(mobilePrefixEdits_[k], 1, k);
  }
  prefs->addWidget(MakeLabel(Row("mobilePrefixes"), mobilePrefixEdits_[0], prefixPanel_), 0, 0, 1,
                   4);
  for (int k = 0; k < 2; ++k) {
    internationalPrefixEdits_[k] =
        MakeEdit(QString("edIP0%1").arg(k + 1), kInternationalWidth, prefixPanel_);
    internationalPrefixEdits_[k]->setFixedWidth(56);
    prefs->addWidget(internationalPrefixEdits_[k], 3, k);
  }
  prefs->addWidget(
      MakeLabel(Row("internationalPrefixes"), internationalPrefixEdits_[0], prefixPanel_), 2, 0, 1,
      4);
  grid->addWidget(prefixPanel_, row, 2, 4, 1, Qt::AlignTop);
  grid->setRowStretch(row + 3, 1);
  grid->setColumnStretch(3, 1);

  connect(exceptionList_, &QListWidget::itemClicked, this,
          Guarded([this] { showSelectedException(); }));
  connect(exceptionList_, &QListWidget::itemSelectionChanged, this,
          Guarded([this] { showSelectedException(); }));
  connect(editButton_, &QPushButton::clicked, this, Guarded([this] { editException(); }));
  connect(deleteButton_, &QPushButton::clicked, this, Guarded([this] { deleteException(); }));
  host.leave().OnLeave(exceptionList_, [this] { return storeNumberPlan(); });
  for (int k = 0; k < 4; ++k) {
    host.leave().OnLeave(mobilePrefixEdits_[k], [this, k] {
      return storePrefix(mobilePrefixEdits_[k], "mobilePrefixes", k + 1);
    });
  }
  for (int k = 0; k < 2; ++k) {
    host.leave().OnLeave(internationalPrefixEdits_[k], [this, k] {
      return storePrefix(internationalPrefixEdits_[k], "internationalPrefixes", k + 1);
    });
  }
}

void NumberPlanPage::ApplyModel(DeviceModel model) {
  prefixPanel_->setVisible(model == DeviceModel::FourLine);
  exceptionList_->viewport()->update();
}

void NumberPlanPage::Decode(const ImageView& view) {
  byteBoxes_.Decode(view);
  for (int i = 0; i < kExceptionCount; ++i)
    exceptionList_->item(i)->setText(FromCp1250(view.exceptionTexts[i]));
  if (view.prefixes) {
    for (int k = 0; k < 4; ++k)
      mobilePrefixEdits_[k]->setText(FromCp1250(view.prefixes->mobile[k]));
    for (int k = 0; k < 2; ++k)
      internationalPrefixEdits_[k]->setText(FromCp1250(view.prefixes->international[k]));
  }
  exceptionList_->viewport()->update();
}

ExceptionCells NumberPlanPage::DrawnRow(int index) const {
  const auto text = ToCp1250(exceptionList_->item(index)->text());
  return ExceptionRow(host_.image(), host_.layout(), text.value_or(""), index);
}

void NumberPlanPage::showSelectedException() {
  const int i = ChosenRow(exceptionList_);
  if (i < 0) return;
  const ExceptionCells cells = DrawnRow(i);
  areaCodeEdit_->setText(FromCp1250(cells.areaCode));
  lengthEdit_->setText(FromCp1250(cells.length));
  selectedLength_ = lengthEdit_->text();
}

void NumberPlanPage::editException() {
  const int i = ChosenRow(exceptionList_);
  if (i < 0) return;
  QString message;
  const auto code = ToCp1250(areaCodeEdit_->text(), &message);
  if (!code) {
    host_.dialogs().Message(message);
    return;
  }
  const std::string length = lengthEdit_->text().toStdString();
  const LengthInput input =
      lengthEdit_->text() == selectedLength_ ? LengthInput::AsSelected : LengthInput::Typed;
  if (host_.layout().model() == DeviceModel::FourLine) {
    std::string text;
    if (const Refusal r = MakeExceptionText(*code, length, input, text)) {
      host_.dialogs().Message(Q(*r));
      lengthEdit_->setFocus();
      return;
    }
    exceptionList_->item(i)->setText(FromCp1250(text));
    storeNumberPlan();
  } else {
    if (const Refusal r = EditException16(host_.image(), host_.layout(), i, *code, length, input)) {
      host_.dialogs().Message(Q(*r));
      lengthEdit_->setFocus();
      return;
    }
  }
  exceptionList_->viewport()->update();
  showSelectedException();  // the boxes show what the entry now holds, padded
}

void NumberPlanPage::deleteException() {
  if (host_.layout().model() == DeviceModel::FourLine) {
    areaCodeEdit_->setText("====");
    lengthEdit_->setText("00");
    editException();
    return;
  }
  const int i = ChosenRow(exceptionList_);
  if (i < 0) return;
  DeleteException16(host_.image(), host_.layout(), i);
  exceptionList_->viewport()->update();
}

// A prefix is stored on its own, through its row; the box then shows it completed, as the
// field keeps it.
bool NumberPlanPage::storePrefix(QLineEdit* edit, const char* key, int index) {
  if (host_.layout().model() != DeviceModel::FourLine) return true;
  QString message;
  const auto text = ToCp1250(edit->text(), &message);
  if (!text) {
    host_.dialogs().Message(message);
    return false;
  }
  if (!StoreSetting(host_, Row(key), index, edit->text())) return false;
  edit->setText(FromCp1250(CompletePrefix(*text, static_cast<size_t>(edit->maxLength()))));
  return true;
}

bool NumberPlanPage::storeNumberPlan() {
  if (host_.layout().model() != DeviceModel::FourLine) return true;
  Prefixes prefixes;
  QString message;
  auto take = [&](QLineEdit* edit, std::string& into) {
    const auto text = ToCp1250(edit->text(), &message);
    if (text) into = *text;
    return text.has_value();
  };
  bool typed = true;
  for (int k = 0; k < 4; ++k) typed = typed && take(mobilePrefixEdits_[k], prefixes.mobile[k]);
  for (int k = 0; k < 2; ++k)
    typed = typed && take(internationalPrefixEdits_[k], prefixes.international[k]);
  if (!typed) {
    host_.dialogs().Message(message);
    return false;
  }
  std::vector<std::string> texts;
  for (int i = 0; i < kExceptionCount; ++i)
    texts.push_back(ToCp1250(exceptionList_->item(i)->text()).value_or(""));
  if (const Refusal r = StoreNumberPlan4(host_.image(), host_.layout(), texts, prefixes)) {
    host_.dialogs().Message(Q(*r));
    return false;
  }
  for (int k = 0; k < 4; ++k) mobilePrefixEdits_[k]->setText(FromCp1250(prefixes.mobile[k]));
  for (int k = 0; k < 2; ++k)
    internationalPrefixEdits_[k]->setText(FromCp1250(prefixes.international[k]));
  return true;
}

}  // namespace tarvelo
