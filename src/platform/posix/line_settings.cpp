#include "platform/posix/line_settings.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>

namespace platform::posix {
namespace {

// The driver's own code for a rate, or BOTHER with the rate given in c_ospeed.
tcflag_t RateCode(unsigned baud) {
  switch (baud) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return BOTHER;
  }
}

void SetRaw(struct termios2& t) {
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR |
                                       IGNCR | ICRNL | IUCLC | IXON | IXANY | IXOFF | IMAXBEL);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHONL | IEXTEN | TOSTOP);
  t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  t.c_cflag |= CREAD | CLOCAL;
  t.c_cc[VMIN] = 1;  // with O_NONBLOCK: an empty queue reads EAGAIN, a hang-up reads 0
  t.c_cc[VTIME] = 0;
}

int Get(int fd, struct termios2& t) { return ioctl(fd, TCGETS2, &t) == 0 ? 0 : errno; }
int Set(int fd, const struct termios2& t) { return ioctl(fd, TCSETS2, &t) == 0 ? 0 : errno; }

}  // namespace

unsigned FormatFlags(const LineSettings& line) {
  static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  tcflag_t flags = kSizes[std::clamp(line.data_bits, 5, 8) - 5];
  switch (line.parity) {
    case 1: flags |= PARENB | PARODD; break;
    case 2: flags |= PARENB; break;
    case 3: flags |= PARENB | CMSPAR | PARODD; break;
    case 4: flags |= PARENB | CMSPAR; break;
    default: break;
  }
  // With five data bits a UART sends one and a half stop bits where two are asked for; with
  // more bits two is the nearest the hardware has to one and a half.
  if (line.stop_bits != 0) flags |= CSTOPB;
  return flags;
}

int MakeRaw(int fd) {
  struct termios2 t {};
  if (int e = Get(fd, t)) return e;
  SetRaw(t);
  return Set(fd, t);
}

int ApplyLineSettings(int fd, const LineSettings& line) {
  if (line.data_bits < 5 || line.data_bits > 8 || line.parity < 0 || line.parity > 4 ||
      line.stop_bits < 0 || line.stop_bits > 2 || line.baud == 0)
    return EINVAL;
  struct termios2 t {};
  if (int e = Get(fd, t)) return e;
  SetRaw(t);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= FormatFlags(line);
  // Bytes with a parity error are passed on unchanged (no INPCK): the error is counted by the
  // driver and reported through the error word, as a line error, not by replacing the byte.
  t.c_cflag |= RateCode(line.baud);
  t.c_ispeed = line.baud;
  t.c_ospeed = line.baud;
  if (int e = Set(fd, t)) return e;
  struct termios2 back {};
  if (int e = Get(fd, back)) return e;
  const unsigned got = back.c_ospeed;
  const unsigned diff = got > line.baud ? got - line.baud : line.baud - got;
  if (got != 0 && diff > line.baud / 33) return EINVAL;
  return 0;
}

int ReadLineSettings(int fd, LineSettings* line) {
  struct termios2 t {};
  if (int e = Get(fd, t)) return e;
  switch (t.c_cflag & CSIZE) {
    case CS5: line->data_bits = 5; break;
    case CS6: line->data_bits = 6; break;
    case CS7: line->data_bits = 7; break;
    default: line->data_bits = 8; break;
  }
  if (!(t.c_cflag & PARENB))
    line->parity = 0;
  else if (t.c_cflag & CMSPAR)
    line->parity = (t.c_cflag & PARODD) ? 3 : 4;
  else
    line->parity = (t.c_cflag & PARODD) ? 1 : 2;
  line->stop_bits = (t.c_cflag & CSTOPB) ? 2 : 0;
  line->baud = t.c_ospeed;
  return 0;
}

int FlushQueues(int fd, bool input, bool output) {
  if (!input && !output) return 0;
  const int which = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
  return ioctl(fd, TCFLSH, which) == 0 ? 0 : errno;
}

}  // namespace platform::posix
