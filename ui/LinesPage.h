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

  enum class LineControl { Dial, Seize, TimerSet, SubLine, CallIn };
  // Stores what line `line` (from 1) shows in `control`; the 16-line model rewrites the
  // bytes of all lines.
  void storeLineSetting(int line, LineControl control);
  bool storeCoNumber(int line);

 private:
  struct Line {
    QWidget* panel;
    QLabel* port;
    QLineEdit* coNumber;
    RadioGroup* dial;
    RadioGroup* seize;
    RadioGroup* timerSet;
    QCheckBox* subLine;
    QCheckBox* callIn;
  };
  const Line& line(int n) const { return lines_.at(n - 1); }
  void storeAllLines16();
  void SizeColumns();

  std::array<Line, 16> lines_{};
  std::array<QLabel*, 7> headings_{};
  std::array<int, 7> widths_{};
  int dialWidth4_ = 0;
};

}  // namespace tarvelo
