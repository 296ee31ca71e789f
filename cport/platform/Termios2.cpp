// termios2 with BOTHER sets any bit rate. The kernel header clashes with the C
// library's <termios.h>, so this file includes nothing else of the kind.
#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

#include "cport/platform/PosixTermios.h"

int ApplyTermiosImage(int Descriptor, const TTermiosImage& Image) {
  struct termios2 T;
  if (ioctl(Descriptor, TCGETS2, &T) != 0)
    return errno;
  T.c_iflag = Image.IFlag;
  T.c_oflag = Image.OFlag;
  T.c_lflag = Image.LFlag;
  T.c_cflag = Image.CFlag & ~CBAUD;
  if (Image.CustomSpeed) {
    T.c_cflag |= BOTHER;
  } else {
    T.c_cflag |= Image.CFlag & CBAUD;
  }
  // The input rate follows the output rate (CIBAUD left 0).
  T.c_cflag &= ~(CBAUD << IBSHIFT);
  T.c_ispeed = Image.Speed;
  T.c_ospeed = Image.Speed;
  T.c_cc[VSTART] = Image.VStart;
  T.c_cc[VSTOP] = Image.VStop;
  T.c_cc[VMIN] = Image.VMin;
  T.c_cc[VTIME] = Image.VTime;
  if (ioctl(Descriptor, TCSETS2, &T) != 0)
    return errno;
  return 0;
}
