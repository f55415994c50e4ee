// The vocabulary of the serial device model: handles, records, flags and error codes with
// the numeric values of the Windows serial services. The port component speaks only this,
// on every system; each system's device layer maps it onto what the system really has.
#pragma once

#include <cstdint>
#include <cstring>

namespace platform {

using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using BOOL = int;
using HANDLE = void*;
using HWND = void*;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT = unsigned int;

constexpr BOOL TRUE_ = 1;
constexpr BOOL FALSE_ = 0;

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

constexpr DWORD MAXDWORD = 0xFFFFFFFFu;
constexpr DWORD INFINITE = 0xFFFFFFFFu;

// Error codes
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_OPERATION_ABORTED = 995;
constexpr DWORD ERROR_IO_INCOMPLETE = 996;
constexpr DWORD ERROR_IO_PENDING = 997;

// CreateFileA
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000u;

// Waits
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

// Device-control record. The layout is that of the 28-byte record of the Windows services:
// the thirteen flag bits share one 32-bit word, lowest bit first.
constexpr DWORD DTR_CONTROL_DISABLE = 0;
constexpr DWORD DTR_CONTROL_ENABLE = 1;
constexpr DWORD DTR_CONTROL_HANDSHAKE = 2;
constexpr DWORD RTS_CONTROL_DISABLE = 0;
constexpr DWORD RTS_CONTROL_ENABLE = 1;
constexpr DWORD RTS_CONTROL_HANDSHAKE = 2;
constexpr DWORD RTS_CONTROL_TOGGLE = 3;

constexpr BYTE NOPARITY = 0;
constexpr BYTE ODDPARITY = 1;
constexpr BYTE EVENPARITY = 2;
constexpr BYTE MARKPARITY = 3;
constexpr BYTE SPACEPARITY = 4;

constexpr BYTE ONESTOPBIT = 0;
constexpr BYTE ONE5STOPBITS = 1;
constexpr BYTE TWOSTOPBITS = 2;

struct DCB {
  DWORD DCBlength;
  DWORD BaudRate;
  DWORD fBinary : 1;
  DWORD fParity : 1;
  DWORD fOutxCtsFlow : 1;
  DWORD fOutxDsrFlow : 1;
  DWORD fDtrControl : 2;
  DWORD fDsrSensitivity : 1;
  DWORD fTXContinueOnXoff : 1;
  DWORD fOutX : 1;
  DWORD fInX : 1;
  DWORD fErrorChar : 1;
  DWORD fNull : 1;
  DWORD fRtsControl : 2;
  DWORD fAbortOnError : 1;
  DWORD fDummy2 : 17;
  WORD wReserved;
  WORD XonLim;
  WORD XoffLim;
  BYTE ByteSize;
  BYTE Parity;
  BYTE StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  WORD wReserved1;
};
static_assert(sizeof(DCB) == 28, "DCB must keep the 28-byte layout");

// The flag word of a record: the 32 bits that hold fBinary .. fDummy2.
inline DWORD DcbFlagWord(const DCB& dcb) {
  DWORD word;
  std::memcpy(&word, reinterpret_cast<const char*>(&dcb) + 8, sizeof word);
  return word;
}

struct COMMTIMEOUTS {
  DWORD ReadIntervalTimeout;
  DWORD ReadTotalTimeoutMultiplier;
  DWORD ReadTotalTimeoutConstant;
  DWORD WriteTotalTimeoutMultiplier;
  DWORD WriteTotalTimeoutConstant;
};

struct COMSTAT {
  DWORD Flags;  // fCtsHold .. fTxim; not used by the component
  DWORD cbInQue;
  DWORD cbOutQue;
};

struct OVERLAPPED {
  std::uintptr_t Internal;      // status of the operation
  std::uintptr_t InternalHigh;  // bytes transferred
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
};

// Modem status bits
constexpr DWORD MS_CTS_ON = 0x0010;
constexpr DWORD MS_DSR_ON = 0x0020;
constexpr DWORD MS_RING_ON = 0x0040;
constexpr DWORD MS_RLSD_ON = 0x0080;

// Escape functions
constexpr DWORD SETXOFF = 1;
constexpr DWORD SETXON = 2;
constexpr DWORD SETRTS = 3;
constexpr DWORD CLRRTS = 4;
constexpr DWORD SETDTR = 5;
constexpr DWORD CLRDTR = 6;
constexpr DWORD SETBREAK = 8;
constexpr DWORD CLRBREAK = 9;

// Purge flags
constexpr DWORD PURGE_TXABORT = 0x0001;
constexpr DWORD PURGE_RXABORT = 0x0002;
constexpr DWORD PURGE_TXCLEAR = 0x0004;
constexpr DWORD PURGE_RXCLEAR = 0x0008;

// Event mask bits
constexpr DWORD EV_RXCHAR = 0x0001;
constexpr DWORD EV_RXFLAG = 0x0002;
constexpr DWORD EV_TXEMPTY = 0x0004;
constexpr DWORD EV_CTS = 0x0008;
constexpr DWORD EV_DSR = 0x0010;
constexpr DWORD EV_RLSD = 0x0020;
constexpr DWORD EV_BREAK = 0x0040;
constexpr DWORD EV_ERR = 0x0080;
constexpr DWORD EV_RING = 0x0100;
constexpr DWORD EV_RX80FULL = 0x0400;

// Line error flags of the error word
constexpr DWORD CE_RXOVER = 0x0001;
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;
constexpr DWORD CE_TXFULL = 0x0100;
constexpr DWORD CE_IOE = 0x0400;
constexpr DWORD CE_MODE = 0x8000;

// Window messages
constexpr UINT WM_USER = 0x0400;

}  // namespace platform
