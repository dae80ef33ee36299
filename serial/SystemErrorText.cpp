#include "serial/SystemErrorText.h"

#include <cerrno>
#include <system_error>

namespace tarvelo {

std::string SystemErrorText(int err) {
  switch (err) {
    case ENOENT:
      return "nincs ilyen fájl vagy mappa";
    case EACCES:
    case EPERM:
      return "nincs hozzá jogosultság";
    case EROFS:
      return "a fájlrendszer csak olvasható";
    case ENOSPC:
    case EDQUOT:
      return "betelt a lemez";
    case EPIPE:
      return "a fogadó program már nem olvas (lezárt cső)";
    case EBADF:
      return "a port nincs megnyitva";
    case EISDIR:
      return "ez egy mappa";
    case EBUSY:
      return "az eszköz foglalt";
    case ENODEV:
    case ENXIO:
      return "az eszköz nem érhető el";
    case EIO:
      // How a serial adapter pulled out mid-transfer shows itself.
      return "be- és kimeneti hiba (az eszköz eltűnt?)";
    default:
      // The category's message is safe from any thread, unlike strerror.
      return std::generic_category().message(err);
  }
}

}  // namespace tarvelo
