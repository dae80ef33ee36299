// The layouts of both models and new-database images, for the model tests. A test that holds
// for both models runs over them with EachModel; these name one model where only it has the
// behaviour tested.
#pragma once

#include "model/ImageLayout.h"
#include "model/NewDatabase.h"
#include "tests/EachModel.h"

namespace tarvelo {

inline const ImageLayout kFour = ImageLayout::For(DeviceModel::FourLine);
inline const ImageLayout kSixteen = ImageLayout::For(DeviceModel::SixteenLine);

inline ConfigImage Defaults(const ImageLayout& layout) {
  DatabaseRecord r;
  NewDatabaseDefaults(r, layout);
  return r.image;
}

}  // namespace tarvelo
