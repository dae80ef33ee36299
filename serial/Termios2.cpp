// Any bit rate the driver accepts, through the termios2 interface. This file must not see
// <termios.h>, whose definitions clash with the kernel's.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace tarvelo::platform {

int SetArbitraryBaud(int fd, unsigned rate) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return errno;
  tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  tio.c_ispeed = rate;
  tio.c_ospeed = rate;
  if (ioctl(fd, TCSETS2, &tio) != 0) return errno;
  return 0;
}

}  // namespace tarvelo::platform
