#include "model/NewDatabase.h"

namespace tarvelo {

void NewDatabaseDefaults(DatabaseRecord& record, const ImageLayout& layout) {
  record.site.length = 0;
  record.owner.length = 0;
  record.password.length = 0;
  record.connectionName.length = 0;
  record.image = ConfigImage();
  StoreNewDatabaseDefaults(record.image, layout);
}

}  // namespace tarvelo
