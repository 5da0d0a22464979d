#pragma once
// The program's serial port library on POSIX terminals. A port named "ComN" opens the device
// path stored under the setting "ComN" (default /dev/ttyS{N-1}); any other name is a path.
// Reads and writes wait with time-outs; a comm-event thread watches the port and hands its
// events to the UI thread.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

class QObject;
struct termios2;

namespace strandel {

enum TBaudRate : uint8_t {
    br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200, br38400,
    br56000, br57600, br115200, br128000, br256000, brCustom
};
enum TDataBits : uint8_t { db4, db5, db6, db7, db8 };
enum TParity : uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum TStopBits : uint8_t { sb1, sb1p5, sb2 };
enum TFlowControl : uint8_t { fcNone, fcRtsCts, fcDtrDsr, fcSoftware, fcCustom };

// Sets are bit masks of these values.
enum TRTSSetting : uint8_t { fsCTSOut = 1, fsRTSEnabled = 2, fsRTSHandshake = 4 };
enum TDTRSetting : uint8_t { fsDSROut = 1, fsDTREnabled = 2, fsDTRHandshake = 4 };
enum TXOnXOffSetting : uint8_t { fsInX = 1, fsOutX = 2 };
enum TCommOption : uint8_t {
    coAbortOnError = 1, coDiscardNull = 2, coDSRSensitivity = 4, coErrorChar = 8,
    coParityCheck = 16, coTXContinueOnXOff = 32, coLeaveDTROpen = 64
};
// The bits of the comm event mask, in order.
enum TDeviceEvent : uint32_t {
    deChar = 0x1, deFlag = 0x2, deOutEmpty = 0x4, deCTS = 0x8, deDSR = 0x10, deRLSD = 0x20,
    deBreak = 0x40, deError = 0x80, deRing = 0x100, dePrintError = 0x200, deIn80Full = 0x400,
    deProv1 = 0x800, deProv2 = 0x1000
};

struct TCommDataControl {
    TDataBits DataBits = db8;
    TParity Parity = paNone;
    TStopBits StopBits = sb1;
};
struct TCommBuffers {
    uint16_t InputSize = 2048;
    uint16_t OutputSize = 2048;
    uint16_t InputTimeout = 500;
    uint16_t OutputTimeout = 500;
};
struct TCommEventChars {
    uint8_t XonChar = 0x11;
    uint8_t XoffChar = 0x13;
    uint8_t EofChar = 0;
    uint8_t ErrorChar = 0;
    uint8_t EventChar = 0x0A;
};
struct TCommTimeoutsEx {
    uint32_t ReadInterval = 1;
    uint32_t ReadMultiplier = 0;
    uint32_t ReadConstant = 1;
    uint32_t WriteMultiplier = 0;
    uint32_t WriteConstant = 1;
};

// What the comm-event thread watches besides data: the modem lines (TIOCM_* bits) and running
// counts of line events.
struct TLineState {
    uint32_t Lines = 0;  // TIOCM_CTS, TIOCM_DSR, TIOCM_CD, TIOCM_RI
    uint32_t Cts = 0, Dsr = 0, Dcd = 0, Rings = 0, Breaks = 0, Errors = 0;
    bool operator==(const TLineState &) const = default;
};

class EDeviceError : public std::runtime_error {
public:
    EDeviceError(uint32_t code, const std::string &message) : std::runtime_error(message), ErrorCode(code) {}
    uint32_t ErrorCode;
};

// The device path of a port name: "ComN" (any case) maps to the setting "ComN", by default
// /dev/ttyS{N-1}; any other name is a path already.
std::string SerialDevicePath(const std::string &name);

class TXComm;
class TCommEventThread;

using TDataEvent = std::function<void(TXComm *sender, uint32_t received)>;
using TCommEvent = std::function<void(TXComm *sender, uint32_t events)>;
using TTransferEvent = std::function<void(TXComm *sender, const uint8_t *data, uint32_t count)>;
using TPortEvent = std::function<void(TXComm *sender)>;

class TXComm {
public:
    TXComm();
    virtual ~TXComm();
    TXComm(const TXComm &) = delete;
    TXComm &operator=(const TXComm &) = delete;

    virtual bool Open();
    virtual void Close();
    bool Opened() const { return fd_ >= 0; }

    // Counted send and read; a negative time-out means OutputTimeout / InputTimeout.
    uint32_t SendData(const uint8_t *data, uint32_t count, int timeoutMs = -1);
    bool SendByte(uint8_t b, int timeoutMs = -1);
    uint32_t ReadData(uint8_t *data, uint32_t count, int timeoutMs = -1);
    uint32_t InQueCount() const;
    uint32_t OutQueCount() const;

    const std::string &DeviceName() const { return deviceName_; }
    void SetDeviceName(const std::string &name); // ignored while open
    // The device path that Open uses for the current name.
    std::string DevicePath() const;

    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate rate);
    uint32_t BaudValue() const { return baudValue_; }
    void SetBaudValue(uint32_t value); // taken only under brCustom
    const TCommDataControl &DataControl() const { return dataControl_; }
    void SetDataControl(const TCommDataControl &dc);
    const TCommBuffers &Buffers() const { return buffers_; }
    void SetBuffers(const TCommBuffers &b);
    const TCommEventChars &EventChars() const { return eventChars_; }
    void SetEventChars(const TCommEventChars &c);
    const TCommTimeoutsEx &Timeouts() const { return timeouts_; }
    void SetTimeouts(const TCommTimeoutsEx &t);
    TFlowControl FlowControl() const { return flowControl_; }
    void SetFlowControl(TFlowControl fc);
    uint8_t RTSSettings() const;
    void SetRTSSettings(uint8_t s);
    uint8_t DTRSettings() const;
    void SetDTRSettings(uint8_t s);
    uint8_t XOnXOffSettings() const;
    void SetXOnXOffSettings(uint8_t s);
    uint8_t Options() const { return options_; }
    void SetOptions(uint8_t o);
    uint32_t MonitorEvents() const { return monitorEvents_; }
    void SetMonitorEvents(uint32_t events) { monitorEvents_ = events; }
    bool Synchronize() const { return synchronize_; }
    void SetSynchronize(bool s) { synchronize_ = s; }

    uint64_t TotalReceived() const { return totalReceived_; }
    uint64_t TotalSent() const { return totalSent_; }

    TDataEvent OnData;
    TCommEvent OnCommEvent;
    TTransferEvent OnRead;
    TTransferEvent OnSend;
    // The device went away while open (an unplugged adapter); delivered like the events.
    TPortEvent OnDeviceLost;

    // The modem lines and line-event counts; false when the device has none (a pseudo-terminal).
    // Called on the comm-event thread.
    virtual bool ReadLineState(TLineState &state) const;

private:
    friend class TCommEventThread;
    void CheckOpen() const;
    void DeriveLineSettings();
    void WriteControlBlock();
    void ApplyBuffers();
    void ApplyTimeouts();
    void SetReadTiming(termios2 &t) const;
    void SetModemLines();
    // Runs on the UI thread (or the event thread when not synchronised).
    void DeliverEvents(uint32_t mask);
    void DeliverLost();

    std::string deviceName_ = "COM2";
    TBaudRate baudRate_ = br9600;
    uint32_t baudValue_ = 9600;
    TCommDataControl dataControl_;
    TCommBuffers buffers_;
    TCommEventChars eventChars_;
    TCommTimeoutsEx timeouts_;
    TFlowControl flowControl_ = fcNone;
    uint8_t rtsSettings_ = 0;
    uint8_t dtrSettings_ = 0;
    uint8_t xonXoffSettings_ = 0;
    uint8_t options_ = 0;
    uint32_t monitorEvents_ = deChar | deFlag | deOutEmpty;
    bool synchronize_ = true;

    int fd_ = -1;
    bool sending_ = false;
    bool receiving_ = false;
    bool destroying_ = false;
    std::atomic<uint64_t> totalReceived_{0};
    std::atomic<uint64_t> totalSent_{0};
    std::unique_ptr<TCommEventThread> eventThread_;
    std::unique_ptr<QObject> context_; // UI-thread deliveries are queued to it
};

// Watches an open port and hands each event to the port, on the UI thread when synchronised.
class TCommEventThread {
public:
    explicit TCommEventThread(TXComm *port);
    ~TCommEventThread(); // stops and joins

private:
    void Execute();
    bool Deliver(uint32_t mask);
    void DeliverLost();
    bool WaitStop(int ms);

    TXComm *port_;
    int fd_;
    int stopFd_ = -1;
    TLineState lines_;
    bool hasLines_ = false;
    std::atomic<bool> stop_{false};
    std::shared_ptr<std::atomic<bool>> stopped_ = std::make_shared<std::atomic<bool>>(false);
    std::mutex mutex_;
    std::condition_variable cond_;
    std::thread thread_;
};

} // namespace strandel
