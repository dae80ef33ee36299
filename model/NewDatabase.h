#pragma once

#include "model/DatabaseRecord.h"
#include "model/ImageLayout.h"

namespace tarvelo {

// Record side of a new database: empty header texts and the memory map's defaults for
// the layout's model. Bytes the defaults leave alone keep what they had; a freshly made
// record has them all zero. The caller clears the file name and decodes.
void NewDatabaseDefaults(DatabaseRecord& record, const ImageLayout& layout);

}  // namespace tarvelo
