// The serial port component: one serial device, its settings, its monitor thread, the hand-
// over of its events, overlapped reading, and the list of the system's serial ports.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/device_services.h"
#include "platform/exceptions.h"
#include "platform/threads.h"

// ---------------------------------------------------------------- settings

enum class TBaudRate : std::uint8_t {
  br110, br300, br600, br1200, br2400, br4800, br9600, br14400,
  br19200, br38400, br56000, br57600, br115200, br128000, br256000
};
enum class TByteSize : std::uint8_t { bs5, bs6, bs7, bs8 };
enum class TParity : std::uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum class TStopBits : std::uint8_t { sb1, sb1_5, sb2 };
enum class TSyncMethod : std::uint8_t { smThreadSync, smWindowSync, smNone };
using platform::TThreadPriority;

// Bits per second, by TBaudRate ordinal.
inline constexpr std::uint32_t ComBaudRates[15] = {110,   300,   600,   1200,   2400,   4800,   9600,  14400,
                                                   19200, 38400, 56000, 57600, 115200, 128000, 256000};
inline std::uint32_t BaudRateValue(TBaudRate rate) { return ComBaudRates[static_cast<int>(rate)]; }

// A set of up to eight enumeration members held in one byte; member of ordinal n is bit n.
template <class E>
class TByteSet {
 public:
  constexpr TByteSet() = default;
  constexpr TByteSet(std::initializer_list<E> members) {
    for (E m : members) Include(m);
  }
  static constexpr TByteSet FromByte(std::uint8_t bits) {
    TByteSet s;
    s.bits_ = bits;
    return s;
  }
  constexpr bool Contains(E m) const { return (bits_ >> static_cast<int>(m)) & 1u; }
  constexpr void Include(E m) { bits_ = static_cast<std::uint8_t>(bits_ | (1u << static_cast<int>(m))); }
  constexpr void Exclude(E m) { bits_ = static_cast<std::uint8_t>(bits_ & ~(1u << static_cast<int>(m))); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr std::uint8_t Byte() const { return bits_; }
  constexpr bool operator==(const TByteSet&) const = default;

 private:
  std::uint8_t bits_ = 0;
};

enum class TComSignal : std::uint8_t { csCTS, csDSR, csRing, csRLSD };
using TComSignals = TByteSet<TComSignal>;

enum class TComWatchEvent : std::uint8_t { weRxChar, weTxEmpty, weRing, weCTS, weDSR, weRLSD, weError, weRx80Full };
using TComWatchEvents = TByteSet<TComWatchEvent>;

enum class TComError : std::uint8_t { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
using TComErrors = TByteSet<TComError>;

// The device mask of a set of port events, and back; bits of no member are ignored.
platform::DWORD EventsToMask(TComWatchEvents events);
TComWatchEvents MaskToEvents(platform::DWORD mask);

// The window message of window delivery; wParam is one event's mask value.
constexpr platform::UINT CM_PORTEVENT = platform::WM_USER + 1;

// ---------------------------------------------------------------- errors

// The component's one exception class; its message is one of the texts below.
class EComPort : public platform::Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EComPort"; }
};

namespace ComMessages {
inline constexpr const char* NoPort = "Попытка открыть несуществующий COM-порт";
inline constexpr const char* PortBusy = "Порт занят другой программой";
inline constexpr const char* ReadError = "Ошибка чтения из порта";
inline constexpr const char* BadAsync = "Недопустимый параметр Async";
inline constexpr const char* PurgeComm = "Ошибка функции PurgeComm";
inline constexpr const char* SetCommState = "Ошибка функции SetCommState";
inline constexpr const char* SetCommTimeouts = "Ошибка функции SetCommTimeouts";
inline constexpr const char* SetupComm = "Ошибка функции SetupComm";
inline constexpr const char* ClearCommError = "Ошибка функции ClearCommError";
inline constexpr const char* GetCommModemStatus = "Ошибка функции GetCommModemStatus";
inline constexpr const char* EscapeCommFunction = "Ошибка функции EscapeCommFunction";
inline constexpr const char* PortOpen = "Нельзя менять свойство, пока порт открыт";
inline constexpr const char* Registry = "Ошибка обращения к системному реестру";
}  // namespace ComMessages

// ---------------------------------------------------------------- persistent objects

// An object that can copy its values to another of a kind it knows; otherwise assignment
// fails with "Cannot assign a <source> to a <target>".
class TPersistent {
 public:
  virtual ~TPersistent() = default;
  virtual const char* ClassName() const { return "TPersistent"; }
  // Copies `source` into this object; no object at all is an assignment error too.
  virtual void Assign(const TPersistent* source);

 protected:
  virtual void AssignTo(TPersistent* dest) const;
  [[noreturn]] void AssignError(const TPersistent* source) const;
};

class TBComPort;

// The device time-outs of one port, in milliseconds; a negative value stands for MAXDWORD.
class TComTimeouts : public TPersistent {
 public:
  const char* ClassName() const override { return "TComTimeouts"; }

  TBComPort* ComPort = nullptr;  // the owning port, set by its constructor

  int ReadInterval() const { return read_interval_; }
  int ReadTotalMultiplier() const { return read_total_multiplier_; }
  int ReadTotalConstant() const { return read_total_constant_; }
  int WriteTotalMultiplier() const { return write_total_multiplier_; }
  int WriteTotalConstant() const { return write_total_constant_; }
  void SetReadInterval(int value);
  void SetReadTotalMultiplier(int value);
  void SetReadTotalConstant(int value);
  void SetWriteTotalMultiplier(int value);
  void SetWriteTotalConstant(int value);

 protected:
  // Copies the five values straight into another time-out object (nothing is applied; it
  // keeps its own port).
  void AssignTo(TPersistent* dest) const override;

 private:
  void Write(int& field, int value);

  int read_interval_ = -1;
  int read_total_multiplier_ = 0;
  int read_total_constant_ = 0;
  int write_total_multiplier_ = 100;
  int write_total_constant_ = 1000;
};

// ---------------------------------------------------------------- overlapped operations

struct TAsyncOp {
  platform::OVERLAPPED Overlapped;
  std::uint8_t Kind;  // 1 = read
  void* Data;
  std::uint32_t Size;
};
// Allocates a record whose event is manual-reset and signalled.
void NewAsyncOp(TAsyncOp*& op, platform::DeviceServices& services);
void DisposeAsyncOp(TAsyncOp*& op, platform::DeviceServices& services);

// ---------------------------------------------------------------- the port

using TRxCharEvent = std::function<void(TBComPort* sender, int count)>;
using TComSignalEvent = std::function<void(TBComPort* sender, bool state)>;
using TComErrorEvent = std::function<void(TBComPort* sender, TComErrors errors)>;
using TNotifyEvent = std::function<void(TBComPort* sender)>;

class TComThread;

class TBComPort {
 public:
  explicit TBComPort(platform::DeviceServices& services = platform::SystemDeviceServices());
  TBComPort(const TBComPort&) = delete;
  TBComPort& operator=(const TBComPort&) = delete;
  virtual ~TBComPort();

  // Published settings. Written while closed they are stored; while open they are applied
  // at once (Port, and SyncMethod with a new value, are refused).
  TBaudRate BaudRate() const { return baud_rate_; }
  void SetBaudRate(TBaudRate value);
  TByteSize ByteSize() const { return byte_size_; }
  void SetByteSize(TByteSize value);
  int InBufSize() const { return in_buf_size_; }
  void SetInBufSize(int value);
  int OutBufSize() const { return out_buf_size_; }
  void SetOutBufSize(int value);
  TParity Parity() const { return parity_; }
  void SetParity(TParity value);
  const std::string& Port() const { return port_; }
  void SetPort(const std::string& value);
  TSyncMethod SyncMethod() const { return sync_method_; }
  void SetSyncMethod(TSyncMethod value);
  TStopBits StopBits() const { return stop_bits_; }
  void SetStopBits(TStopBits value);
  TComTimeouts* Timeouts() const { return timeouts_.get(); }
  void SetTimeouts(const TPersistent* value);

  TRxCharEvent OnRxChar;
  TNotifyEvent OnTxEmpty;
  TNotifyEvent OnRing;
  TComSignalEvent OnCTSChange;
  TComSignalEvent OnDSRChange;
  TComSignalEvent OnRLSDChange;
  TComErrorEvent OnError;
  TNotifyEvent OnRx80Full;

  // State
  bool Connected() const { return connected_; }
  platform::HANDLE Handle() const { return handle_; }
  TThreadPriority ThreadPriority() const { return thread_priority_; }
  TComWatchEvents WatchEvents() const { return watch_events_; }
  TComThread* EventThread() const { return event_thread_.get(); }
  platform::HWND NotifyWindow() const { return notify_window_; }
  platform::DeviceServices& Services() const { return services_; }

  // Opening, closing, line control
  void Open();
  void Close();
  int InQueueCount();
  TComSignals ModemSignals();
  void SetDTR(bool state);
  void SetRTS(bool state);
  void PurgeAll();

  // Carrying the settings to the open device; each does nothing while closed.
  void ApplyCommState();
  void ApplyTimeouts();
  void ApplyBufferSizes();
  void ApplySettings();

  // Reading
  int ReadText(std::string& str, int count);
  void StartRead(void* buffer, int count, TAsyncOp* const& op);
  int AwaitAsyncOp(TAsyncOp* const& op);

  // Event operations, run by the delivery of each batch
  void FireRxChar();
  void FireTxEmpty();
  void FireRing();
  void FireCTSChange();
  void FireDSRChange();
  void FireRLSDChange();
  void FireError();
  void FireRx80Full();
  // The procedure of the hidden window of window delivery.
  void PortWindowProc(platform::TMessage& message);

 protected:
  void OpenHandle();
  void ReleaseHandle();

 private:
  friend class TComThread;
  void SetBufSize(int& field, int value);
  template <class T>
  void WriteLineSetting(T& field, T value);

  platform::DeviceServices& services_;
  TBaudRate baud_rate_ = TBaudRate::br9600;
  TByteSize byte_size_ = TByteSize::bs8;
  bool connected_ = false;
  TThreadPriority thread_priority_ = TThreadPriority::tpNormal;
  TComWatchEvents watch_events_ = TComWatchEvents::FromByte(0xFF);
  std::unique_ptr<TComThread> event_thread_;
  platform::HANDLE handle_ = platform::INVALID_HANDLE_VALUE;
  int in_buf_size_ = 2048;
  int out_buf_size_ = 2048;
  TParity parity_ = TParity::paNone;
  std::string port_ = "COM2";
  TStopBits stop_bits_ = TStopBits::sb1;
  TSyncMethod sync_method_ = TSyncMethod::smThreadSync;
  std::unique_ptr<TComTimeouts> timeouts_;
  platform::HWND notify_window_ = nullptr;
};

// ---------------------------------------------------------------- the monitor thread

class TComThread : public platform::TThread {
 public:
  // Creates the thread suspended, sets the device's event mask, then starts it.
  explicit TComThread(TBComPort* com_port);
  // Stops the watch and waits for the thread, serving hand-overs meanwhile.
  ~TComThread() override;

  void StopWatching();
  void DeliverEvents();
  void PostEventsToWindow();

  TBComPort* ComPort;
  TComWatchEvents PendingEvents;

 protected:
  void Execute() override;

 private:
  void DeliverSynchronized();
  void ReportLostDevice();

  void Report(std::exception_ptr error);

  platform::HANDLE stop_event_;
  // The failures whose report is queued or open; the same failure is not reported again
  // meanwhile. User-interface thread only; shared with the queued reports, which may run
  // after the thread object is gone.
  std::shared_ptr<std::vector<std::string>> reporting_ = std::make_shared<std::vector<std::string>>();
};

// ---------------------------------------------------------------- port list

// Replaces `target` with the names of the system's serial devices, sorted; on failure raises
// "Ошибка обращения к системному реестру" and leaves `target` unchanged.
void ListSerialPorts(std::vector<std::string>& target,
                     platform::DeviceServices& services = platform::SystemDeviceServices());
