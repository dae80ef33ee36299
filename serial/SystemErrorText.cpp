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
    case ENOTDIR:
      return "az útvonal egyik tagja nem mappa";
    case ENAMETOOLONG:
      return "túl hosszú a fájlnév vagy az útvonal";
    case ELOOP:
      return "túl sok egymásra mutató szimbolikus hivatkozás (hurok?)";
    case EFBIG:
      return "a fájl túl nagy";
    case EEXIST:
      return "már van ilyen nevű fájl";
    case EMFILE:
    case ENFILE:
      return "túl sok a megnyitott fájl";
    case ETXTBSY:
      return "a fájlt egy futó program használja";
    case ENOMEM:
      return "nincs elég memória";
    case EIO:
      // How a serial adapter pulled out mid-transfer shows itself.
      return "be- és kimeneti hiba (az eszköz eltűnt?)";
    case ECONNREFUSED:
      return "ezen a címen senki sem fogad kapcsolatot (nem fut a szerver, vagy más a port)";
    case ETIMEDOUT:
      return "nem jött válasz a megszabott időn belül";
    case EHOSTUNREACH:
    case EHOSTDOWN:
      return "a gép nem érhető el";
    case ENETUNREACH:
    case ENETDOWN:
      return "a hálózat nem érhető el";
    case ECONNRESET:
    case ECONNABORTED:
      return "a kapcsolatot a túloldal bontotta";
    case EADDRNOTAVAIL:
      return "a cím nem használható ezen a gépen";
    case EPROTO:
      return "a túloldal nem fogadta el a kérést";
    case EPROTONOSUPPORT:
      return "a túloldal nem ismeri ezt az eljárást";
    case EINVAL:
      return "érvénytelen érték";
    default:
      // The category's message is safe from any thread, unlike strerror.
      return std::generic_category().message(err);
  }
}

}  // namespace tarvelo
