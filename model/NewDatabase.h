#pragma once

#include "model/DatabaseRecord.h"
#include "model/ImageLayout.h"

namespace tarvelo {

// Record side of a new database: empty header texts, a zero-filled image and the memory
// map's defaults for the layout's model. Nothing of the database the record held before is
// left, not even in bytes the defaults do not set (the other model's fields lie there, and
// an upload would send them). The caller clears the file name and decodes.
void NewDatabaseDefaults(DatabaseRecord& record, const ImageLayout& layout);

}  // namespace tarvelo
