#include "bcport/BCPort.h"

#include <algorithm>
#include <cstring>

using namespace platform;

namespace {

// Device event mask value of each TComWatchEvent, by ordinal.
constexpr DWORD kEventMasks[8] = {EV_RXCHAR, EV_TXEMPTY, EV_RING, EV_CTS, EV_DSR, EV_RLSD, EV_ERR, EV_RX80FULL};
// Error word flag of each TComError, by ordinal.
constexpr DWORD kErrorFlags[8] = {CE_FRAME, CE_RXPARITY, CE_OVERRUN, CE_BREAK, CE_IOE, CE_MODE, CE_RXOVER, CE_TXFULL};
// The order in which a batch runs its event operations.
constexpr TComWatchEvent kDeliveryOrder[8] = {
    TComWatchEvent::weError, TComWatchEvent::weRxChar, TComWatchEvent::weTxEmpty, TComWatchEvent::weRing,
    TComWatchEvent::weCTS,   TComWatchEvent::weDSR,    TComWatchEvent::weRLSD,    TComWatchEvent::weRx80Full};

// Runs the event operation of one TComWatchEvent.
void Fire(TBComPort& port, TComWatchEvent event) {
  switch (event) {
    case TComWatchEvent::weRxChar: port.FireRxChar(); break;
    case TComWatchEvent::weTxEmpty: port.FireTxEmpty(); break;
    case TComWatchEvent::weRing: port.FireRing(); break;
    case TComWatchEvent::weCTS: port.FireCTSChange(); break;
    case TComWatchEvent::weDSR: port.FireDSRChange(); break;
    case TComWatchEvent::weRLSD: port.FireRLSDChange(); break;
    case TComWatchEvent::weError: port.FireError(); break;
    case TComWatchEvent::weRx80Full: port.FireRx80Full(); break;
  }
}

DWORD TimeoutValue(int value) { return value < 0 ? MAXDWORD : static_cast<DWORD>(value); }

}  // namespace

DWORD EventsToMask(TComWatchEvents events) {
  DWORD mask = 0;
  for (int i = 0; i < 8; ++i)
    if (events.Contains(static_cast<TComWatchEvent>(i))) mask |= kEventMasks[i];
  return mask;
}

TComWatchEvents MaskToEvents(DWORD mask) {
  TComWatchEvents events;
  for (int i = 0; i < 8; ++i)
    if (mask & kEventMasks[i]) events.Include(static_cast<TComWatchEvent>(i));
  return events;
}

// ---------------------------------------------------------------- TPersistent

void TPersistent::Assign(const TPersistent* source) {
  if (source == nullptr) AssignError(nullptr);
  source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* dest) const { dest->AssignError(this); }

void TPersistent::AssignError(const TPersistent* source) const {
  std::string source_name = source ? source->ClassName() : "nil";
  throw EConvertError("Cannot assign a " + source_name + " to a " + ClassName());
}

// ---------------------------------------------------------------- TComTimeouts

void TComTimeouts::AssignTo(TPersistent* dest) const {
  if (auto* target = dynamic_cast<TComTimeouts*>(dest)) {
    target->read_interval_ = read_interval_;
    target->read_total_multiplier_ = read_total_multiplier_;
    target->read_total_constant_ = read_total_constant_;
    target->write_total_multiplier_ = write_total_multiplier_;
    target->write_total_constant_ = write_total_constant_;
    return;
  }
  TPersistent::AssignTo(dest);
}

void TComTimeouts::Write(int& field, int value) {
  if (field == value) return;
  field = value;
  if (ComPort) ComPort->ApplyTimeouts();
}

void TComTimeouts::SetReadInterval(int value) { Write(read_interval_, value); }
void TComTimeouts::SetReadTotalMultiplier(int value) { Write(read_total_multiplier_, value); }
void TComTimeouts::SetReadTotalConstant(int value) { Write(read_total_constant_, value); }
void TComTimeouts::SetWriteTotalMultiplier(int value) { Write(write_total_multiplier_, value); }
void TComTimeouts::SetWriteTotalConstant(int value) { Write(write_total_constant_, value); }

// ---------------------------------------------------------------- TBComPort: settings

TBComPort::TBComPort(DeviceServices& services) : services_(services), timeouts_(new TComTimeouts) {
  timeouts_->ComPort = this;
}

TBComPort::~TBComPort() {
  // A device that refuses the closing steps (unplugged) is still released by Close; the
  // refusal has nobody left to tell.
  try {
    Close();
  } catch (...) {
  }
}

template <class T>
void TBComPort::WriteLineSetting(T& field, T value) {
  if (field == value) return;
  field = value;
  ApplyCommState();
}

void TBComPort::SetBaudRate(TBaudRate value) { WriteLineSetting(baud_rate_, value); }
void TBComPort::SetByteSize(TByteSize value) { WriteLineSetting(byte_size_, value); }
void TBComPort::SetParity(TParity value) { WriteLineSetting(parity_, value); }
void TBComPort::SetStopBits(TStopBits value) { WriteLineSetting(stop_bits_, value); }

void TBComPort::SetBufSize(int& field, int value) {
  if (field == value) return;
  // A positive odd size is lowered by one; zero, even and negative sizes stay.
  field = (value > 0 && value % 2 != 0) ? value - 1 : value;
  ApplyBufferSizes();
}

void TBComPort::SetInBufSize(int value) { SetBufSize(in_buf_size_, value); }
void TBComPort::SetOutBufSize(int value) { SetBufSize(out_buf_size_, value); }

void TBComPort::SetPort(const std::string& value) {
  if (connected_) throw EComPort(ComMessages::PortOpen);
  port_ = value;
}

void TBComPort::SetSyncMethod(TSyncMethod value) {
  if (sync_method_ == value) return;
  if (connected_) throw EComPort(ComMessages::PortOpen);
  sync_method_ = value;
}

void TBComPort::SetTimeouts(const TPersistent* value) {
  timeouts_->Assign(value);
  ApplyTimeouts();
}

void TBComPort::ApplyCommState() {
  if (!connected_) return;
  DCB dcb;
  std::memset(&dcb, 0, sizeof dcb);
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = BaudRateValue(baud_rate_);
  dcb.fBinary = 1;
  dcb.fParity = parity_ != TParity::paNone ? 1 : 0;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.ByteSize = static_cast<BYTE>(static_cast<int>(byte_size_) + 5);
  dcb.Parity = static_cast<BYTE>(parity_);
  dcb.StopBits = static_cast<BYTE>(stop_bits_);
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  if (!services_.SetCommState(handle_, &dcb)) throw EComPort(ComMessages::SetCommState);
}

void TBComPort::ApplyTimeouts() {
  if (!connected_) return;
  COMMTIMEOUTS t;
  t.ReadIntervalTimeout = TimeoutValue(timeouts_->ReadInterval());
  t.ReadTotalTimeoutMultiplier = TimeoutValue(timeouts_->ReadTotalMultiplier());
  t.ReadTotalTimeoutConstant = TimeoutValue(timeouts_->ReadTotalConstant());
  t.WriteTotalTimeoutMultiplier = TimeoutValue(timeouts_->WriteTotalMultiplier());
  t.WriteTotalTimeoutConstant = TimeoutValue(timeouts_->WriteTotalConstant());
  if (!services_.SetCommTimeouts(handle_, &t)) throw EComPort(ComMessages::SetCommTimeouts);
}

void TBComPort::ApplyBufferSizes() {
  if (!connected_) return;
  if (!services_.SetupComm(handle_, static_cast<DWORD>(in_buf_size_), static_cast<DWORD>(out_buf_size_)))
    throw EComPort(ComMessages::SetupComm);
}

void TBComPort::ApplySettings() {
  ApplyBufferSizes();
  ApplyCommState();
  ApplyTimeouts();
}

// ---------------------------------------------------------------- TBComPort: open and close

void TBComPort::OpenHandle() {
  std::string path = "\\\\.\\" + port_;
  handle_ = services_.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) {
    DWORD error = services_.GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) throw EComPort(ComMessages::NoPort);
    if (error == ERROR_ACCESS_DENIED) throw EComPort(ComMessages::PortBusy);
    // Any other failure surfaces when the settings are applied to the invalid handle.
  }
}

void TBComPort::ReleaseHandle() {
  if (handle_ != INVALID_HANDLE_VALUE) {
    services_.CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
}

void TBComPort::Open() {
  if (connected_) return;
  OpenHandle();
  connected_ = true;
  try {
    ApplySettings();
  } catch (...) {
    ReleaseHandle();
    connected_ = false;
    throw;
  }
  if (sync_method_ == TSyncMethod::smWindowSync)
    notify_window_ = AllocateHWnd([this](TMessage& m) { PortWindowProc(m); });
  event_thread_ = std::make_unique<TComThread>(this);
}

void TBComPort::Close() {
  if (!connected_) return;
  // Lower DTR, then RTS, then abort transfers. A device that refuses one of these (an
  // unplugged adapter) is closed all the same, so that it is not held for good; the first
  // refusal is raised once everything is released.
  std::exception_ptr first_failure;
  auto step = [&](auto&& operation) {
    try {
      operation();
    } catch (...) {
      if (!first_failure) first_failure = std::current_exception();
    }
  };
  step([this] { SetDTR(false); });
  step([this] { SetRTS(false); });
  step([this] { PurgeAll(); });
  event_thread_.reset();
  if (notify_window_ != nullptr) {
    DeallocateHWnd(notify_window_);
    notify_window_ = nullptr;
  }
  ReleaseHandle();
  connected_ = false;
  if (first_failure) std::rethrow_exception(first_failure);
}

int TBComPort::InQueueCount() {
  DWORD errors = 0;
  COMSTAT stat{};
  if (!services_.ClearCommError(handle_, &errors, &stat)) throw EComPort(ComMessages::ClearCommError);
  return static_cast<int>(stat.cbInQue);
}

TComSignals TBComPort::ModemSignals() {
  DWORD status = 0;
  if (!services_.GetCommModemStatus(handle_, &status)) throw EComPort(ComMessages::GetCommModemStatus);
  return TComSignals::FromByte(static_cast<std::uint8_t>((status >> 4) & 0x0F));
}

void TBComPort::SetDTR(bool state) {
  if (!services_.EscapeCommFunction(handle_, state ? SETDTR : CLRDTR))
    throw EComPort(ComMessages::EscapeCommFunction);
}

void TBComPort::SetRTS(bool state) {
  if (!services_.EscapeCommFunction(handle_, state ? SETRTS : CLRRTS))
    throw EComPort(ComMessages::EscapeCommFunction);
}

void TBComPort::PurgeAll() {
  if (!services_.PurgeComm(handle_, PURGE_TXABORT | PURGE_RXABORT)) throw EComPort(ComMessages::PurgeComm);
}

// ---------------------------------------------------------------- reading

void NewAsyncOp(TAsyncOp*& op, DeviceServices& services) {
  op = new TAsyncOp;
  std::memset(&op->Overlapped, 0, sizeof op->Overlapped);
  op->Overlapped.hEvent = services.CreateEventA(nullptr, TRUE_, TRUE_, nullptr);
  op->Kind = 0;
  op->Data = nullptr;
  op->Size = 0;
}

void DisposeAsyncOp(TAsyncOp*& op, DeviceServices& services) {
  services.CloseHandle(op->Overlapped.hEvent);
  if (op->Data != nullptr) std::free(op->Data);
  delete op;
  op = nullptr;
}

void TBComPort::StartRead(void* buffer, int count, TAsyncOp* const& op) {
  if (op == nullptr) throw EComPort(ComMessages::BadAsync);
  op->Kind = 1;
  DWORD read = 0;
  if (!services_.ReadFile(handle_, buffer, static_cast<DWORD>(count), &read, &op->Overlapped) &&
      services_.GetLastError() != ERROR_IO_PENDING)
    throw EComPort(ComMessages::ReadError);
}

int TBComPort::AwaitAsyncOp(TAsyncOp* const& op) {
  if (op == nullptr) throw EComPort(ComMessages::BadAsync);
  DWORD n = 0;
  if (services_.WaitForSingleObject(op->Overlapped.hEvent, INFINITE) == WAIT_OBJECT_0 &&
      services_.GetOverlappedResult(handle_, &op->Overlapped, &n, FALSE_))
    return static_cast<int>(n);
  throw EComPort(ComMessages::ReadError);
}

int TBComPort::ReadText(std::string& str, int count) {
  TAsyncOp* op = nullptr;
  NewAsyncOp(op, services_);
  // A fresh string of its own, its bytes on the heap (never inside the string object): the
  // device writes straight into that storage, which nobody else shares.
  std::string buffer;
  buffer.reserve(static_cast<std::size_t>(std::max(count, 32)));
  buffer.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
  bool issued = false;
  try {
    if (count > 0) {
      StartRead(buffer.data(), count, op);
      issued = true;
    }
    int n = AwaitAsyncOp(op);
    buffer.resize(static_cast<std::size_t>(std::clamp(n, 0, std::max(count, 0))));
    str.swap(buffer);
    DisposeAsyncOp(op, services_);
    return n;
  } catch (...) {
    str.clear();
    // The read must have ended before its buffer and record go: cancel it and wait for its
    // completion. A read that cannot be seen to end keeps both (a small leak beats the
    // device writing into freed memory).
    if (issued) {
      services_.CancelIo(handle_);
      if (services_.WaitForSingleObject(op->Overlapped.hEvent, 5000) != WAIT_OBJECT_0) {
        new std::string(std::move(buffer));  // deliberately never released, like the record
        throw;
      }
    }
    DisposeAsyncOp(op, services_);
    throw;
  }
}

// ---------------------------------------------------------------- event operations

void TBComPort::FireRxChar() {
  int count = InQueueCount();
  if (count > 0 && OnRxChar) OnRxChar(this, count);
}

void TBComPort::FireTxEmpty() {
  if (OnTxEmpty) OnTxEmpty(this);
}

void TBComPort::FireRing() {
  if (OnRing) OnRing(this);
}

void TBComPort::FireCTSChange() {
  if (OnCTSChange) OnCTSChange(this, ModemSignals().Contains(TComSignal::csCTS));
}

void TBComPort::FireDSRChange() {
  if (OnDSRChange) OnDSRChange(this, ModemSignals().Contains(TComSignal::csDSR));
}

void TBComPort::FireRLSDChange() {
  if (OnRLSDChange) OnRLSDChange(this, ModemSignals().Contains(TComSignal::csRLSD));
}

void TBComPort::FireError() {
  DWORD word = 0;
  COMSTAT stat{};
  if (!services_.ClearCommError(handle_, &word, &stat)) throw EComPort(ComMessages::ClearCommError);
  TComErrors errors;
  for (int i = 0; i < 8; ++i) {
    auto member = static_cast<TComError>(i);
    if (!(word & kErrorFlags[i])) continue;
    if (member == TComError::ceRxParity && parity_ == TParity::paNone) continue;
    errors.Include(member);
  }
  if (!errors.Empty() && OnError) OnError(this, errors);
}

void TBComPort::FireRx80Full() {
  if (OnRx80Full) OnRx80Full(this);
}

void TBComPort::PortWindowProc(TMessage& message) {
  if (message.Msg != CM_PORTEVENT) {
    message.Result = DefWindowProc(notify_window_, message.Msg, message.WParam, message.LParam);
    return;
  }
  try {
    if (InSendMessage()) ReplyMessage(0);
    if (!connected_) return;
    // wParam is one event's mask value; any other value calls nothing.
    for (int i = 0; i < 8; ++i)
      if (message.WParam == kEventMasks[i]) Fire(*this, static_cast<TComWatchEvent>(i));
  } catch (...) {
    ApplicationHandleException(std::current_exception(), this);
  }
}

// ---------------------------------------------------------------- the monitor thread

TComThread::TComThread(TBComPort* com_port) : TThread(true), ComPort(com_port) {
  DeviceServices& dev = com_port->services_;
  stop_event_ = dev.CreateEventA(nullptr, TRUE_, FALSE_, nullptr);
  SetPriority(com_port->thread_priority_);
  dev.SetCommMask(com_port->handle_, EventsToMask(com_port->watch_events_));
  Resume();
}

TComThread::~TComThread() {
  StopWatching();
  Destroy();
  // The stop event lives as long as the thread object, so a stop signalled after the loop
  // ended by itself is harmless.
  ComPort->services_.CloseHandle(stop_event_);
}

void TComThread::StopWatching() {
  ComPort->services_.SetEvent(stop_event_);
  ComPort->services_.Sleep(0);
}

void TComThread::DeliverEvents() {
  for (TComWatchEvent e : kDeliveryOrder)
    if (PendingEvents.Contains(e)) Fire(*ComPort, e);
}

void TComThread::PostEventsToWindow() {
  for (TComWatchEvent e : kDeliveryOrder)
    if (PendingEvents.Contains(e))
      SendMessage(ComPort->notify_window_, CM_PORTEVENT, kEventMasks[static_cast<int>(e)], 0);
}

// Runs in the user-interface thread. A failure of the batch is reported through the
// program-wide report, after the hand-over has returned, so that reception goes on while
// the report is shown.
void TComThread::DeliverSynchronized() {
  try {
    DeliverEvents();
  } catch (...) {
    Report(std::current_exception());
  }
}

// Queues a report of `error` for the user-interface thread, unless the same failure is
// already queued or being shown. Any thread.
void TComThread::Report(std::exception_ptr error) {
  std::string message = ExceptionMessage(error);
  void* sender = ComPort;
  auto reporting = reporting_;
  QueueToMainThread([reporting, message, error, sender] {
    for (const auto& m : *reporting)
      if (m == message) return;
    reporting->push_back(message);
    try {
      ApplicationHandleException(error, sender);
    } catch (...) {
    }
    reporting->erase(std::find(reporting->begin(), reporting->end(), message));
  });
}

void TComThread::ReportLostDevice() { Report(std::make_exception_ptr(EComPort(ComMessages::ReadError))); }

void TComThread::Execute() {
  DeviceServices& dev = ComPort->services_;
  HANDLE handle = ComPort->handle_;
  OVERLAPPED ov;
  std::memset(&ov, 0, sizeof ov);
  ov.hEvent = dev.CreateEventA(nullptr, TRUE_, TRUE_, nullptr);
  HANDLE pair[2] = {stop_event_, ov.hEvent};
  DWORD mask = 0;
  // Waits that failed one after the other: a device that is gone fails every wait at
  // once, and must not make this loop spin.
  constexpr int kLostAfter = 8;
  int failed_waits = 0;
  bool lost = false;

  for (;;) {
    mask = 0;
    if (!dev.WaitCommEvent(handle, &mask, &ov)) {
      DWORD error = dev.GetLastError();
      if (error != ERROR_IO_PENDING) {
        // The device refuses to be waited on: it can no longer deliver anything.
        lost = true;
        break;
      }
    }
    DWORD r = dev.WaitForMultipleObjects(2, pair, FALSE_, INFINITE);
    if (r != WAIT_OBJECT_0 + 1) {
      lost = r != WAIT_OBJECT_0;
      break;
    }
    DWORD count = 0;
    if (!dev.GetOverlappedResult(handle, &ov, &count, FALSE_)) {
      if (++failed_waits >= kLostAfter) {
        lost = true;
        break;
      }
      continue;  // a single failed wait is dropped
    }
    failed_waits = 0;
    PendingEvents = MaskToEvents(mask);
    switch (ComPort->sync_method_) {
      case TSyncMethod::smThreadSync:
        Synchronize([this] { DeliverSynchronized(); });
        break;
      case TSyncMethod::smWindowSync:
        PostEventsToWindow();
        break;
      case TSyncMethod::smNone:
        DeliverEvents();
        break;
    }
  }

  dev.SetCommMask(handle, 0);
  dev.PurgeComm(handle, PURGE_TXCLEAR | PURGE_RXCLEAR);
  dev.CloseHandle(ov.hEvent);
  // A stop that arrived meanwhile means the port is being closed: nobody needs telling.
  if (lost && dev.WaitForSingleObject(stop_event_, 0) != WAIT_OBJECT_0) ReportLostDevice();
}

// ---------------------------------------------------------------- port list

void ListSerialPorts(std::vector<std::string>& target, DeviceServices& services) {
  HKEY key = nullptr;
  if (services.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != 0)
    throw EComPort(ComMessages::Registry);
  struct KeyCloser {
    DeviceServices& s;
    HKEY k;
    ~KeyCloser() { s.RegCloseKey(k); }
  } closer{services, key};

  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    char name[256];
    BYTE data[256];
    DWORD name_size = 256;
    DWORD data_size = 256;
    DWORD type = 0;
    long rc = services.RegEnumValueA(key, index, name, &name_size, nullptr, &type, data, &data_size);
    if (rc == static_cast<long>(ERROR_NO_MORE_ITEMS)) break;
    if (rc != 0) throw EComPort(ComMessages::Registry);
    // The data of a string value ends at its terminating NUL.
    std::size_t n = std::min<std::size_t>(data_size, sizeof data);
    const char* bytes = reinterpret_cast<const char*>(data);
    names.emplace_back(bytes, strnlen(bytes, n));
  }
  std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
    return services.CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                                   b.data(), static_cast<int>(b.size())) == CSTR_LESS_THAN;
  });
  target = std::move(names);
}
