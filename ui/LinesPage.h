// Page "&Vonalak": one panel per line, built from one description.
#pragma once

#include <array>

#include "ui/Page.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace tarvelo {

class RadioGroup;

class LinesPage : public Page {
 public:
  explicit LinesPage(PageHost& host);
  void ApplyModel(DeviceModel model) override;
  void Decode(const ImageView& view) override;

  // The handler of every line control; `sender` is the control that was left or clicked.
  void RGsettingline(QWidget* sender);
  bool MEcoExit(QLineEdit* sender);

 private:
  struct Line {
    QWidget* panel;
    QLabel* port;
    QLineEdit* co;
    RadioGroup* dial;
    RadioGroup* seize;
    RadioGroup* timer;
    QCheckBox* subLine;
    QCheckBox* callIn;
  };
  std::array<Line, 16> lines_{};
  std::array<QLabel*, 7> headings_{};
};

}  // namespace tarvelo
