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

  // Leaving any of the number, the two boxes or the list stores all of them.
  bool storeCallIn();
  void showSelectedForbidden();
  // Puts the completed entry into the selected row of the list and stores; clearing puts
  // the empty entry there.
  void putForbiddenEntry();
  void clearForbiddenEntry();

 private:
  QLineEdit* callInNumberEdit_;
  QCheckBox* foreignBox_;
  QCheckBox* nationalBox_;
  QListWidget* forbiddenList_;
  QLineEdit* forbiddenEdit_;
  QPushButton* putButton_;
  QPushButton* clearButton_;
};

}  // namespace tarvelo
