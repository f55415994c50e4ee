// Line settings of a Linux tty, kept apart from the rest of the device layer: the kernel's
// termios2 record (needed for rates such as 14400 or 256000) cannot share a translation unit
// with the C library's <termios.h>.
#pragma once

namespace platform::posix {

struct LineSettings {
  unsigned baud = 9600;
  int data_bits = 8;  // 5..8
  int parity = 0;     // 0 none, 1 odd, 2 even, 3 mark, 4 space
  int stop_bits = 0;  // 0 one, 1 one and a half, 2 two
};

// The character-format bits of the control flags (CSIZE, PARENB, PARODD, CMSPAR, CSTOPB) that
// stand for `line`; the values are the kernel's, which the C library's <termios.h> shares.
unsigned FormatFlags(const LineSettings& line);

// Raw mode with one-byte reads (VMIN 1, VTIME 0), receiver on, modem control lines ignored;
// speed and character format are kept. Returns 0 or an errno value.
int MakeRaw(int fd);

// Raw mode plus the rate and character format of `line`, no flow control. The rate is read
// back from the driver: one it cannot reach within 3 % is refused with EINVAL. Returns 0 or
// an errno value.
int ApplyLineSettings(int fd, const LineSettings& line);

// The rate and character format the driver holds now. Returns 0 or an errno value.
int ReadLineSettings(int fd, LineSettings* line);

// Discards the input queue, the output queue, or both. Returns 0 or an errno value.
int FlushQueues(int fd, bool input, bool output);

}  // namespace platform::posix
