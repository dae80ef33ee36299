// Page "Szám&hosszak": number lengths, the area-code exceptions and the prefixes.
#pragma once

#include <array>

#include "model/NumberPlan.h"
#include "ui/Page.h"

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

  void lbKivClick();
  void btnKivEditClick();
  void btnKivDelClick();
  bool lbKivExit();

 private:
  QListWidget* lbKiv;
  QLineEdit* edKivSzam;
  QLineEdit* edKivHossz;
  QPushButton* btnKivEdit;
  QPushButton* btnKivDel;
  QWidget* pnlPref;
  std::array<QLineEdit*, 4> edMP{};
  std::array<QLineEdit*, 2> edIP{};
};

}  // namespace tarvelo
