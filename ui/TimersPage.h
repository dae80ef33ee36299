// Page "I&dőzítők": every timer is a byte box checked and stored by the shared range check.
#pragma once

#include "ui/Page.h"

class QLabel;
class QLineEdit;

namespace tarvelo {

class TimersPage : public Page {
 public:
  explicit TimersPage(PageHost& host);
  void ApplyModel(DeviceModel model) override;

 private:
  QLabel* lblido2;
  QLabel* lblDeltaLI;
  QLineEdit* edLI;
  std::vector<QLineEdit*> second_;  // the #2 column
};

}  // namespace tarvelo
