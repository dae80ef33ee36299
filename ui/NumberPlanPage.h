// Page "Szám&hosszak": number lengths, the area-code exceptions and the prefixes.
#pragma once

#include <array>

#include "model/NumberPlan.h"
#include "ui/Page.h"
#include "ui/Widgets.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace tarvelo {

class NumberPlanPage : public Page {
 public:
  explicit NumberPlanPage(PageHost& host);
  void ApplyModel(DeviceModel model) override;
  void Decode(const ImageView& view) override;

  // What row `index` of the exceptions list shows (area code, length).
  ExceptionCells DrawnRow(int index) const;

  void showSelectedException();
  void editException();
  void deleteException();
  // Stores the 4-line exception list and prefixes; false when an entry was refused.
  bool storeNumberPlan();
  // Stores one prefix box (`index` from 1); false when its entry was refused.
  bool storePrefix(QLineEdit* edit, const char* key, int index);

 private:
  ByteBoxes byteBoxes_;
  QListWidget* exceptionList_;
  QLineEdit* areaCodeEdit_;
  QLineEdit* lengthEdit_;
  QString selectedLength_;  // the length shown when the entry was selected
  QPushButton* editButton_;
  QPushButton* deleteButton_;
  QWidget* prefixPanel_;
  std::array<QLineEdit*, 4> mobilePrefixEdits_{};
  std::array<QLineEdit*, 2> internationalPrefixEdits_{};
};

}  // namespace tarvelo
