#pragma once
// The display-free half of the main window: the link to the unit (port
// discovery, serial port, receive thread), the protocol and its transactions,
// the settings records and the preset sections. CQVLUtilityDlg derives from it
// and glues it to the form; tests drive it directly.
//
// Threads: the user-interface thread runs everything but the receive loop.
// The receive thread appends to m_strRecvData and runs ParseRecvData, which
// stores into the records and m_DeviceInfo. Every member marked "guarded" is
// touched only while m_mtxShared is held, and that lock is held briefly and
// never while waiting or doing I/O.

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/Failure.h"
#include "core/LogText.h"
#include "core/QvlEvent.h"
#include "core/Records.h"
#include "core/SerialHandle.h"

class CIniFile;

// Outcome of one request/reply exchange with the unit.
enum class TxStatus {
    Ok,          // a good reply is complete
    ErrorReply,  // the reply is an error reply (or did not match its command)
    WriteFailed, // the command line could not be written
    Timeout,     // no complete reply within the reply time-out
    Lost,        // the receive thread ended (port lost) during the wait
};

class CQVLSession {
public:
    CQVLSession();
    virtual ~CQVLSession();
    CQVLSession(const CQVLSession&) = delete;
    CQVLSession& operator=(const CQVLSession&) = delete;

    // ---- Port discovery --------------------------------------------------
    // TRUE with strPort set to the first unit port found; FALSE, strPort
    // untouched, when none. With a port override (--port=PATH) reports that
    // path while it exists, without listing.
    bool GetQvlComPort(std::wstring& strPort);
    void SetSysfsRoot(const std::string& strRoot) { m_strSysfsRoot = strRoot; }
    void SetPortOverride(const std::wstring& strPath) { m_strPortOverride = strPath; }

    // ---- Serial port -----------------------------------------------------
    Status InitSerial(); // opens m_strComPort; a failure is also kept (LastFailure)
    bool SendData(std::wstring strLine);
    void UninitSerial(); // closes once

    // ---- Receive thread --------------------------------------------------
    bool StartRecvThread();
    // Asks the receive thread to stop and joins it. The thread closes the
    // port and notifies (PostCloseQvlSerial) as on any end. No-op when no
    // thread runs.
    void StopRecvThread();
    bool IsRecvThreadRunning() const { return m_bRecvRunning.load(); }
    // The window's receive loop pauses 10 ms before every read. Without the
    // pause (set before StartRecvThread) each read returns as soon as bytes
    // arrive, for callers that wait on nothing else.
    void SetRecvPause(bool bPause) { m_bRecvPause = bPause; }

    // ---- Protocol --------------------------------------------------------
    void ParseRecvData(); // receive thread, after each chunk
    // Receive thread: whether the reply so far is complete unless more text
    // comes (see kReplySettleMs), and its completion once the line stayed
    // quiet that long.
    bool IsReplySettling() const;
    void SettleRecvData();

    // One exchange: ends a line a stalled write left unended, discards the
    // port's unread input, empties the response text, records the command and
    // clears the response event (one lock), writes the line, waits for the
    // reply. pstrReply receives the response text when a reply completed
    // (Ok or ErrorReply).
    TxStatus Transact(const std::wstring& strCommand, std::wstring* pstrReply = nullptr);
    // "<port> Timeout Error." / "<port> Disconnected." / "<port> Write Error."
    // (the last for a line that could not be written or was refused)
    std::wstring TxErrorText(TxStatus status) const;
    // The failure an exchange that did not end Ok stands for, with
    // TxErrorText's text: InvalidData for an error reply (the unit refused
    // the line or answered another command), NotFound for a port lost during
    // the wait, IoError for a line that could not be written or a reply that
    // did not come in time.
    Failure TxFailure(TxStatus status) const;

    // The transactions below fail with a TxFailure, except that get and fe
    // name an error reply "<port> Reload Error." / "<port> Erase Error.".
    // Each logs its failure.
    bool QueryQvlVer();
    Status get_APN_WIFI_info();
    Status fe_APN_WIFI_info();
    Status set_APN_WIFI_info();
    // Closes a write with "fw\r"; an error reply (InvalidData) means the unit
    // stored nothing. Logs with pszLogName as qualified name.
    Status fw_APN_WIFI_info(const char* pszLogName = logtext::kWriteStep);

    // ---- Preset sections -------------------------------------------------
    // A read that does not set the records tells why: InvalidData for a
    // section holding a value that a save refuses (logged, key and reason in
    // the text), NotFound for a missing file, section or group, the file's
    // own reason for a file that cannot be read.
    Status ReadWwanSection(int nNo, const std::wstring& strPath, bool bNumbered);
    Status ReadWifiSection(const std::wstring& strPath);
    // The same from a file read once by the caller; loaded is what its Load
    // returned.
    Status ReadWwanSection(int nNo, const CIniFile& ini, const Status& loaded, const std::wstring& strPath,
                           bool bNumbered);
    Status ReadWifiSection(const CIniFile& ini, const Status& loaded, const std::wstring& strPath);
    // A failed write tells the system's reason, or the key and reason of a
    // value the file cannot store.
    Status WriteWwanSection(int nNo, const std::wstring& strPath, bool bNumbered);
    Status WriteWifiSection(const std::wstring& strPath);
    // The four numbered WWAN sections and the Wi-Fi section in one
    // replacement of the file: all of them are written or none.
    Status WriteAllSections(const std::wstring& strPath);

    // ---- Guarded state, copied in and out under the lock -------------------
    DeviceInfo GetDeviceInfo() const;
    void SetDeviceInfo(const DeviceInfo& info);
    WwanProfile GetWwanProfile(int nNo) const;
    void SetWwanProfile(int nNo, const WwanProfile& profile);
    WifiSettings GetWifiSettings() const;
    void SetWifiSettings(const WifiSettings& settings);
    std::wstring GetSendData() const;
    std::wstring GetRecvData() const;

    const std::wstring& ComPort() const { return m_strComPort; }
    void SetComPort(const std::wstring& strPort)
    {
        m_strComPort = strPort;
        m_strComPortPath.clear();
    }
    // The port as the file-system bytes a user gave (which need not be
    // UTF-8); InitSerial opens exactly these. m_strComPort names it in texts.
    void SetComPortPath(const std::string& strPath, const std::wstring& strName)
    {
        m_strComPort = strName;
        m_strComPortPath = strPath;
    }
    const Failure& LastFailure() const { return m_lastFailure; } // why the port last failed to open
    const std::wstring& LastError() const { return m_lastFailure.strText; }

    // Limits; tests shorten them.
    void SetReplyTimeout(std::chrono::milliseconds t) { m_replyTimeout = t; }
    static constexpr size_t kMaxRecvChars = 64 * 1024; // text kept for one reply

protected:
    // A transaction's start: the reply text emptied, the command recorded
    // and outstanding, the response event cleared, under one lock.
    void RecordCommand(const std::wstring& strCommand);

    // Called on the receive thread as its last action before it ends (after
    // the port is closed). The window posts itself the lost-link notification.
    // Must not block.
    virtual void PostCloseQvlSerial() { }

    void RecvThread();
    // The receive thread's step for a chunk read from the port while nSeq
    // was the command sequence number: appends it to the reply text unless a
    // command was recorded since, and parses. True when the reply settles.
    bool ReceiveChunk(const char* pData, size_t nSize, unsigned long nSeq);
    void EndPartialLine();
    void RecvThreadTerminate();

    std::unique_lock<std::mutex> LockShared() const { return std::unique_lock<std::mutex>(m_mtxShared); }

    // Members; each says which thread touches it or what guards it.
    std::vector<std::wstring> m_arrComPorts;          // UI thread only
    std::wstring m_strRecvData;                       // guarded
    DeviceInfo m_DeviceInfo;                          // guarded
    std::wstring m_strSendData;                       // guarded
    std::wstring m_strComPort;                        // UI thread only
    Failure m_lastFailure;                            // set by InitSerial, read once it returned
    std::unique_ptr<CQvlEvent> m_pRecvEvent;          // reply complete
    std::atomic<SerialHandle> m_hComm{kNoSerialPort}; // port handle, kNoSerialPort when closed; changed under m_mtxPort
    std::thread m_pRecvThread;
    std::atomic<bool> m_bStopRecv{false};
    SerialWake m_hRecvWake = kNoSerialWake; // wakes the receive thread's wait for a stop; set while no thread runs
    WwanProfiles m_WwanProfiles;            // guarded
    WifiSettings m_WifiSettings;            // guarded

    mutable std::mutex m_mtxShared;              // guards the members marked so
    bool m_bAwaitingReply = false;               // guarded: a command is outstanding; the parser runs only then
    bool m_bReplyComplete = false;               // guarded: the parser completed the current reply
    bool m_bReplyError = false;                  // guarded: ... and it is an error reply
    bool m_bReplySettling = false;               // guarded: the reply completes if the line stays quiet
    std::atomic<unsigned long> m_nCommandSeq{0}; // changed under m_mtxShared when a command is recorded
    bool m_bPartialLine = false;                 // UI thread only: a write stopped inside a line
    std::atomic<bool> m_bRecvRunning{false};     // receive loop running
    std::mutex m_mtxPort;                        // serialises SendData against the close
    std::chrono::milliseconds m_replyTimeout{5000};
    bool m_bRecvPause = true; // UI thread, read by the receive thread as it starts

    std::string m_strSysfsRoot = "/sys";
    std::wstring m_strPortOverride;
    std::string m_strComPortPath; // UI thread only; empty: m_strComPort in UTF-8
};
