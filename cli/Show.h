#pragma once

#include <string>

#include "model/DatabaseRecord.h"
#include "model/ImageView.h"

namespace tarvelo {

// The database as the pages show it: Hungarian labels in text, or JSON.
std::string ShowText(const DatabaseRecord& record, const ImageLayout& layout,
                     const ImageView& view);
std::string ShowJson(const DatabaseRecord& record, const ImageLayout& layout,
                     const ImageView& view);

}  // namespace tarvelo
