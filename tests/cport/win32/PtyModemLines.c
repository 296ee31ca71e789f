/* Test-only LD_PRELOAD library for running Win32 serial programs under Wine
 * on a pseudo-terminal.
 *
 * A pseudo-terminal has no modem lines: the kernel refuses TIOCMGET, TIOCMSET,
 * TIOCMBIS, TIOCMBIC and TIOCGICOUNT on it. Wine's serial driver asks for them
 * while it waits for line events, and on a refusal it ends every WaitCommEvent
 * at once (an event loop then spins) and fails the modem calls. This library
 * answers those requests on pseudo-terminals as a port whose output lines are
 * remembered and whose error counters stay at zero, and passes everything else
 * (and every other device) to the C library. A hung-up terminal (EIO) is
 * left failing: that is how the port learns that the other end went away.
 *
 * 32-bit programs built with a 64-bit time_t call __ioctl_time64 instead of
 * ioctl, so both are exported. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

typedef int (*ioctl_fn)(int, unsigned long, ...);

/* The output lines set on any pseudo-terminal, as a real port keeps them. */
static int OutputLines = TIOCM_DTR | TIOCM_RTS;

static int IsPseudoTerminal(int Fd) {
  struct stat Info;
  if (fstat(Fd, &Info) != 0 || !S_ISCHR(Info.st_mode))
    return 0;
  /* Unix 98 pseudo-terminal device ends: majors 136 to 143. */
  return major(Info.st_rdev) >= 136 && major(Info.st_rdev) <= 143;
}

/* Answers Request on a pseudo-terminal; -1 when it is not one of ours. */
static int Emulate(int Fd, unsigned long Request, void *Arg) {
  if (!IsPseudoTerminal(Fd))
    return -1;
  switch (Request) {
  case TIOCMGET:
    /* The other end counts as present and ready. */
    *(int *)Arg = OutputLines | TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
    return 0;
  case TIOCMSET:
    OutputLines = *(const int *)Arg & (TIOCM_DTR | TIOCM_RTS);
    return 0;
  case TIOCMBIS:
    OutputLines |= *(const int *)Arg & (TIOCM_DTR | TIOCM_RTS);
    return 0;
  case TIOCMBIC:
    OutputLines &= ~*(const int *)Arg;
    return 0;
  case TIOCGICOUNT:
    memset(Arg, 0, sizeof(struct serial_icounter_struct));
    return 0;
  default:
    return -1;
  }
}

static int Forward(const char *Name, int Fd, unsigned long Request, void *Arg) {
  ioctl_fn Next = (ioctl_fn)dlsym(RTLD_NEXT, Name);
  if (!Next)
    Next = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
  if (!Next) {
    errno = ENOSYS;
    return -1;
  }
  const int Saved = errno;
  int Result = Next(Fd, Request, Arg);
  if (Result == -1 && (errno == EINVAL || errno == ENOTTY)) {
    const int Error = errno;
    if (Emulate(Fd, Request, Arg) == 0) {
      errno = Saved;
      return 0;
    }
    errno = Error;
  }
  return Result;
}

int ioctl(int Fd, unsigned long Request, ...) {
  va_list Args;
  va_start(Args, Request);
  void *Arg = va_arg(Args, void *);
  va_end(Args);
  return Forward("ioctl", Fd, Request, Arg);
}

int __ioctl_time64(int Fd, unsigned long Request, ...) {
  va_list Args;
  va_start(Args, Request);
  void *Arg = va_arg(Args, void *);
  va_end(Args);
  return Forward("__ioctl_time64", Fd, Request, Arg);
}
