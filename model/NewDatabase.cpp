#include "model/NewDatabase.h"

namespace tarvelo {

void NewDatabaseDefaults(DatabaseRecord& record, const ImageLayout& layout) {
  record.site.set("");
  record.owner.set("");
  record.password.set("");
  record.connectionName.set("");
  record.image = ConfigImage();
  StoreNewDatabaseDefaults(record.image, layout);
}

}  // namespace tarvelo
