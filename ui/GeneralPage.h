// Page "&Alap": general and SMDR settings.
#pragma once

#include "ui/Page.h"
#include "ui/Widgets.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace tarvelo {

class GeneralPage : public Page {
 public:
  explicit GeneralPage(PageHost& host);
  void ApplyModel(DeviceModel model) override;
  void Decode(const ImageView& view) override;

  // What leaving (or clicking) the controls stores. A handler that returns false has
  // refused the entry and shown why.
  void storeSmdrFormat();
  void storeSmdrMode();
  bool storeCoCharCount();
  bool storeRecordTerminator();
  bool storeNumberTerminator();
  void storeSwitches();

 private:
  void storeChoice(const RadioGroup* group, const char* key);

  ByteBoxes byteBoxes_;
  RadioGroup* speedGroup_;
  RadioGroup* parityGroup_;
  RadioGroup* modeGroup_;
  RadioGroup* below20hGroup_;
  QComboBox* coCharCountBox_;
  QLineEdit* recordTerminatorEdit_;
  QLabel* numberTerminatorLabel_;
  QLineEdit* numberTerminatorEdit_;
  QCheckBox* pinEnableBox_;
  QCheckBox* dstChangeBox_;
  QCheckBox* dosUploadBox_;
};

}  // namespace tarvelo
