// One suite over both device models: a test about the image is written once and runs for
// the 4-line and the 16-line model, each run named after its model.
//
//   class CodeTableTest : public EachModel {};
//   TARVELO_EACH_MODEL(CodeTableTest);
//   TEST_P(CodeTableTest, Something) { ConfigImage image = DefaultImage(); ... layout() ... }
//
// A fixture of its own (a temporary folder, the command line) takes the model as a mix-in:
//   class SomeCliTest : public CliFixture, public ModelParam {};
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "model/DatabaseRecord.h"
#include "model/ImageLayout.h"
#include "model/NewDatabase.h"

namespace tarvelo {

inline constexpr DeviceModel kEachModel[] = {DeviceModel::FourLine, DeviceModel::SixteenLine};

// The layout of a model, one object per model for the whole test program.
inline const ImageLayout& LayoutOf(DeviceModel model) {
  static const ImageLayout four = ImageLayout::For(DeviceModel::FourLine);
  static const ImageLayout sixteen = ImageLayout::For(DeviceModel::SixteenLine);
  return model == DeviceModel::FourLine ? four : sixteen;
}

// A new database of the model, as "new" and the window make it.
inline DatabaseRecord NewRecord(DeviceModel model) {
  DatabaseRecord r;
  NewDatabaseDefaults(r, LayoutOf(model));
  return r;
}

// The model as the command line names it.
inline std::string ModelFlag(DeviceModel model) {
  return model == DeviceModel::FourLine ? "4" : "16";
}

class ModelParam : public ::testing::WithParamInterface<DeviceModel> {
 protected:
  DeviceModel model() const { return GetParam(); }
  const ImageLayout& layout() const { return LayoutOf(GetParam()); }
  bool fourLine() const { return GetParam() == DeviceModel::FourLine; }
  // The other model: what a database of this one must never be read as.
  DeviceModel otherModel() const {
    return fourLine() ? DeviceModel::SixteenLine : DeviceModel::FourLine;
  }
  ConfigImage DefaultImage() const { return NewRecord(GetParam()).image; }
  std::string flag() const { return ModelFlag(GetParam()); }
};

class EachModel : public ::testing::Test, public ModelParam {};

inline std::string EachModelName(const ::testing::TestParamInfo<DeviceModel>& info) {
  return info.param == DeviceModel::FourLine ? "FourLine" : "SixteenLine";
}

}  // namespace tarvelo

#define TARVELO_EACH_MODEL(Suite)                                                     \
  INSTANTIATE_TEST_SUITE_P(Models, Suite, ::testing::ValuesIn(::tarvelo::kEachModel), \
                           ::tarvelo::EachModelName)
