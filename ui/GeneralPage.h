// Page "&Alap": general and SMDR settings.
#pragma once

#include "ui/Page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace tarvelo {

class RadioGroup;

class GeneralPage : public Page {
 public:
  explicit GeneralPage(PageHost& host);
  void ApplyModel(DeviceModel model) override;
  void Decode(const ImageView& view) override;

  // Handlers, named as the controls they serve.
  void RGspeedExit();
  void RGmodExit();
  bool CBcokarExit();
  bool MErzkExit();
  bool MEszamzExit();
  void chkPinEnaExit();

 private:
  RadioGroup* RGspeed;
  RadioGroup* RGbit;
  RadioGroup* RGmod;
  RadioGroup* RG20h;
  QLineEdit* MEcopos;
  QComboBox* CBcokar;
  QLineEdit* MEcallpos;
  QLineEdit* MErzk;
  QLabel* lblSzamz;
  QLineEdit* MEszamz;
  QCheckBox* chkPinEna;
  QCheckBox* chkDSTena;
  QCheckBox* chkDOSena;
};

// The shared check of every byte-valued edit box, storing at the offset the box carries.
bool TestByteRange(PageHost& host, QLineEdit* edit);

}  // namespace tarvelo
