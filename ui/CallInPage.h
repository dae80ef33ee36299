// Page "&Behívás": call-in number, gateway flags and the barred area codes.
#pragma once

#include "ui/Page.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tarvelo {

class CallInPage : public Page {
 public:
  explicit CallInPage(PageHost& host);
  void Decode(const ImageView& view) override;

  bool edBehivExit();
  void lbGWClick();
  void btnGWAddClick();
  void btnGWDelClick();

 private:
  QLineEdit* edBehiv;
  QCheckBox* chkIntGW;
  QCheckBox* chkNatGW;
  QListWidget* lbGW;
  QLineEdit* edGW;
  QPushButton* btnGWAdd;
  QPushButton* btnGWDel;
};

}  // namespace tarvelo
