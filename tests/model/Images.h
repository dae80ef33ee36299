// The layouts of both models and new-database images, for the model tests.
#pragma once

#include "model/ImageLayout.h"
#include "model/NewDatabase.h"

namespace tarvelo {

inline const ImageLayout kFour = ImageLayout::For(DeviceModel::FourLine);
inline const ImageLayout kSixteen = ImageLayout::For(DeviceModel::SixteenLine);

inline ConfigImage Defaults(const ImageLayout& layout) {
  DatabaseRecord r;
  NewDatabaseDefaults(r, layout);
  return r.image;
}

}  // namespace tarvelo
