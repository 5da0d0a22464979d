#pragma once
// A second serial port component (the set-up form carries two, which nothing opens): simple
// overlapped-style reads and writes under one lock, escape functions for the modem lines, and
// an event thread whose events reach the UI thread queued. Errors raise nothing: each leaves its
// code in CommLastError.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class QObject;

namespace strandel::comm {

enum TBaudRate : uint8_t {
    br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200, br38400,
    br56000, br57600, br115200, br128000, br230400
};
enum TParity : uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum TStopBits : uint8_t { sb10, sb15, sb20 };
enum TDataBits : uint8_t { da4, da5, da6, da7, da8 };
enum TFlowControl : uint8_t { fcNone, fcCTS, fcDTR, fcSoftware, fcDefault };

// Sets are bit masks: bit (1 << value).
enum TCommEventType : uint8_t { evBreak, evCts, evDsr, evError, evRing, evRlsd, evRxChar, evRxFlag, evTxEmpty };
using TCommEventTypes = uint16_t;
constexpr TCommEventTypes kAllCommEvents = 0x1FF;
enum TCommOption : uint8_t { coParityCheck, coDsrSensitivity, coIgnoreXOff, coErrorChar, coNullStrip };
using TCommOptions = uint8_t;

// The device's event bits.
constexpr uint32_t EV_RXCHAR = 0x1, EV_RXFLAG = 0x2, EV_TXEMPTY = 0x4, EV_CTS = 0x8, EV_DSR = 0x10,
                   EV_RLSD = 0x20, EV_BREAK = 0x40, EV_ERR = 0x80, EV_RING = 0x100;
uint32_t EventMaskOf(TCommEventTypes events);

struct TCommEventChars {
    uint8_t XOnChar = 0x11;
    uint8_t XOffChar = 0x13;
    uint8_t ErrorChar = 0;
    uint8_t EofChar = 0;
    uint8_t EvtChar = 0;
};

// The device status: hold bits (1 CTS, 2 DSR, 4 RLSD, 8 XOFF held, 16 XOFF sent) and queues.
struct TComStat {
    uint32_t HoldBits = 0;
    uint32_t InQue = 0;
    uint32_t OutQue = 0;
};

// The last error of any component (0: none) and its text.
int CommLastError();
std::string CommLastErrorText();

class TThreadComm;
class TCommEventThread;
using TCommNotify = std::function<void(TThreadComm *sender)>;
using TCommValueEvent = std::function<void(TThreadComm *sender, uint32_t value)>;
using TComStatEvent = std::function<void(TThreadComm *sender, uint32_t mask, uint32_t errors, const TComStat &)>;

class TThreadComm {
public:
    TThreadComm();
    virtual ~TThreadComm();
    TThreadComm(const TThreadComm &) = delete;
    TThreadComm &operator=(const TThreadComm &) = delete;

    bool Open();
    void Close();
    bool Enabled() const;
    int32_t Write(const void *buffer, int32_t count); // bytes written, -1 when closed
    int32_t WriteStr(const std::string &text);
    int32_t Read(void *buffer, int32_t count); // bytes read, -1 when closed
    int32_t InQueCount();
    int32_t OutQueCount();
    void PurgeIn();
    void PurgeOut();
    bool GetModemState(int index); // 1 CTS, 2 DSR, 3 ring, 4 receive-line-signal-detect
    bool GetComState(int index);   // 1..5: the hold bits
    void SetDTRState(bool on);
    void SetRTSState(bool on);
    void SetBREAKState(bool on);
    void SetXONState(bool on);
    void Lock() { m_lock.lock(); }
    void Unlock() { m_lock.unlock(); }

    const std::string &DeviceName() const { return m_deviceName; }
    void SetDeviceName(const std::string &v); // these four only while closed
    uint16_t ReadBufSize() const { return m_readBufSize; }
    void SetReadBufSize(uint16_t v);
    uint16_t WriteBufSize() const { return m_writeBufSize; }
    void SetWriteBufSize(uint16_t v);
    uint32_t SuspendTime() const { return m_suspendTime; }
    void SetSuspendTime(uint32_t v);
    TCommEventTypes MonitorEvents() const { return m_monitorEvents; }
    void SetMonitorEvents(TCommEventTypes v);
    uint32_t ReadTimeout() const { return m_readTimeout; }
    void SetReadTimeout(uint32_t v) { m_readTimeout = v; }
    uint32_t WriteTimeout() const { return m_writeTimeout; }
    void SetWriteTimeout(uint32_t v) { m_writeTimeout = v; }

    TBaudRate BaudRate() const { return m_baudRate; }
    void SetBaudRate(TBaudRate v);
    TParity Parity() const { return m_parity; }
    void SetParity(TParity v);
    TStopBits StopBits() const { return m_stopBits; }
    void SetStopBits(TStopBits v);
    TDataBits DataBits() const { return m_dataBits; }
    void SetDataBits(TDataBits v);
    const TCommEventChars &EventChars() const { return m_eventChars; }
    void SetEventChars(const TCommEventChars &v);
    TCommOptions Options() const { return m_options; }
    void SetOptions(TCommOptions v);
    TFlowControl FlowControl() const { return m_flowControl; }
    void SetFlowControl(TFlowControl v);

    TCommNotify OnBreak, OnCts, OnDsr, OnRing, OnRxFlag, OnTxEmpty;
    TCommValueEvent OnError; // the error bits
    TCommValueEvent OnRlsd;  // the line state
    TCommValueEvent OnRxChar; // the bytes waiting
    TComStatEvent OnComStatEvent;

    // Runs on the UI thread for every event the event thread saw.
    virtual void HandleCommEvent(uint32_t mask);
    static uint32_t BaudValue(TBaudRate rate);

protected:
    std::string m_deviceName;
    TCommEventTypes m_monitorEvents = 0;

private:
    friend class TCommEventThread;
    bool UpdateDataControlBlock(); // under the lock, on an open port
    bool EscapeComm(unsigned long request, int bits, bool on);
    TComStat Status() const;
    uint32_t ModemBits() const;

    std::recursive_mutex m_lock;
    int m_fd = -1;
    uint32_t m_readTimeout = 1000, m_writeTimeout = 1000;
    uint16_t m_readBufSize = 4096, m_writeBufSize = 2048;
    uint32_t m_suspendTime = 5;
    TBaudRate m_baudRate = br9600;
    TParity m_parity = paNone;
    TStopBits m_stopBits = sb10;
    TDataBits m_dataBits = da8;
    TCommEventChars m_eventChars;
    TCommOptions m_options = 0;
    TFlowControl m_flowControl = fcDefault;
    std::unique_ptr<TCommEventThread> m_eventThread;
    std::unique_ptr<QObject> m_context; // UI-thread deliveries are queued to it
    std::atomic<bool> m_txPending{false};
};

// The published component: "Com2" and every event watched.
class TComm : public TThreadComm {
public:
    TComm();
};

// Watches an open port; stopping wakes it and joins it.
class TCommEventThread {
public:
    TCommEventThread(TThreadComm *port, int fd, uint32_t mask, uint32_t suspendMs);
    ~TCommEventThread();

private:
    void Execute();
    TThreadComm *m_port;
    int m_fd;
    uint32_t m_mask;
    uint32_t m_suspendMs;
    int m_stopFd = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace strandel::comm
