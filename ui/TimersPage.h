// Page "I&dőzítők": every timer is a byte box checked and stored by the shared range check.
#pragma once

#include <vector>

#include "ui/Page.h"
#include "ui/Widgets.h"

class QLabel;
class QLineEdit;

namespace tarvelo {

class TimersPage : public Page {
 public:
  explicit TimersPage(PageHost& host);
  void ApplyModel(DeviceModel model) override;
  void Decode(const ImageView& view) override;

 private:
  ByteBoxes byteBoxes_;
  QLabel* set2Heading_;
  std::vector<QLineEdit*> set2Edits_;
  QLabel* loopImpulseLabel_;
  QLineEdit* loopImpulseEdit_;
};

}  // namespace tarvelo
