#pragma once
// A virtual QVL unit: serves the unit's command protocol on the master side of
// a pseudo-terminal, so the utility can be run and tested without hardware.
// The utility opens the slave side (PortPath()) as its serial port.
// Display-free. Every public method is safe to call from any thread while the
// unit's own thread serves.
//
// Protocol served (command lines end at "\r"; a "\n" right after it is
// ignored):
//   "ver\r"     -> the version reply            "serial\r" -> the serial reply
//   "get\r"     -> the 24 "GET ..." lines of the working settings
//   set lines   -> the line echoed back and "\n" when accepted, else "ERROR\r\n"
//   "fe\r"      -> "FE OK\r\n", settings back to factory defaults (also stored)
//   "fw\r"      -> "FW OK\r\n", the working settings are stored
//   anything else, and a line that is never ended -> "ERROR\r\n"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/Records.h"

// The unit holds its settings (UnitSettings) one character per byte of the wire.

// Empty texts and every index "0": what the unit holds after "fe\r".
UnitSettings FactoryUnitSettings();

// Sets one field named as in the set lines: profile "1".."4" or "w", field
// "apn", "user", "pw", "auth", "pdp" (profiles) or "ssid", "sec", "pw_type",
// "pw" (Wi-Fi). The value is not checked. False for an unknown field.
bool SetUnitField(UnitSettings& s, const std::string& strProfile, const std::string& strField,
                  const std::wstring& strValue);

// How a unit's firmware answers "ver\r": both identity lines (as most
// batches do), the version line alone, the MCU ID line alone (after an empty
// line), or both lines and a third one (a build date).
enum class IdentityVariant { Both, VersionOnly, McuIdOnly, ExtraLine };

// The reply to "ver\r" of that variant.
std::string IdentityReply(IdentityVariant variant, const std::string& strVersion, const std::string& strMcuId);

struct VirtualUnitOptions {
    std::string strLinkPath;  // if set, keep a symlink here pointing at the current slave (replaced atomically on plug)
    std::string strStateFile; // if set, committed settings load from / save to this file
    std::string strVersionReply = "VER 1.0.4\r\nMCUID 0123ABCD\r\n";
    std::string strSerialReply = "SERIAL 12345678\r\n";
    UnitSettings settings;         // initial settings (used when no state file exists)
    int nLineIdleMs = 500;         // a line left unended this long is answered "ERROR\r\n"
    bool bTrimEmptyValues = false; // an empty value's "GET" line without the blank after its label
    int nServeFd = -1;             // if >= 0, serve on this descriptor (the master of a pty made elsewhere)
                                   // instead of a pty of its own; it is taken over and closed on Unplug,
                                   // after which Plug fails
};

struct VirtualUnitFaults {
    int nErrorOnSetLine =
        0; // answer "ERROR\r\n" to the n-th set line received since the faults were set (1-based); 0 never
    std::string strErrorOnCommand; // answer "ERROR\r\n" to this exact line, e.g. "fw\r"
    std::string
        strSilentOnCommand; // never answer this exact line (or, if it ends without "\r", any line starting with it)
    size_t nChunkSize = 0;  // split every reply into pieces of this many bytes ...
    int nChunkPauseMs = 0;  // ... with this pause between them
    std::string strNoise;   // bytes sent before every reply
    bool bPacketPerLine = false; // (without chunking) each line of a reply in its own write, nChunkPauseMs apart
    int nLateLfMs = 0;           // if > 0, the "\n" of every line end goes alone, this long after the rest
    std::string strCutValue;     // "<profile> <field>" (e.g. "2 apn"): a set line for it is accepted and
                                 // echoed, but the value is stored without its last character
};

class VirtualUnit {
public:
    explicit VirtualUnit(VirtualUnitOptions options = {});
    ~VirtualUnit(); // stops
    VirtualUnit(const VirtualUnit&) = delete;
    VirtualUnit& operator=(const VirtualUnit&) = delete;

    // Loads the state file (when given and present), creates the pty and
    // starts serving. False, with the reason, when any of it fails.
    bool Start(std::string* pstrError = nullptr);
    void Stop();                  // stops serving, closes the pty, removes the link
    std::string PortPath() const; // the link path if given, else the slave's /dev/pts/N
    void Unplug();                // closes the master: the utility's reads fail / hang up; removes the link
    bool Plug();                  // a new pty; the link path points at it (no-op when plugged)
    bool IsPlugged() const;
    void SetFaults(const VirtualUnitFaults& faults);
    UnitSettings Settings() const;                  // the current (working) settings
    UnitSettings CommittedSettings() const;         // as of the last "fw\r" (or "fe\r")
    void SetSettings(const UnitSettings& s);        // working and committed
    std::vector<std::string> ReceivedLines() const; // every command line received, "\r" included, in order
    std::string ReceivedBytes() const;              // every byte received, in order
    void ClearReceived();
    std::string LastError() const; // why the last Start or Plug failed

private:
    bool OpenPty(std::string& strError);     // control lock held
    bool TakeServeFd(std::string& strError); // control lock held
    void StartServing();                     // control lock held, m_fdMaster set
    void ClosePty();                         // control lock held, thread stopped
    void StopThread();                       // control lock held
    void Serve();                            // the unit's thread
    void HandleBytes(const char* pBytes, size_t nCount);
    void HandleLine(const std::string& strLine);
    std::string Answer(const std::string& strLine);    // data lock held
    std::string AnswerSet(const std::string& strLine); // data lock held
    void SendReply(const std::string& strReply);
    bool WaitWake(int nTimeoutMs); // true when woken (stop requested)
    bool WriteAll(const char* pBytes, size_t nCount);
    bool SaveState(const UnitSettings& s, std::string& strError) const;
    bool LoadState(UnitSettings& s, std::string& strError) const;

    const VirtualUnitOptions m_options;

    // Control: pty and thread, changed only under m_mtxControl.
    mutable std::mutex m_mtxControl;
    int m_fdMaster = -1;
    int m_fdSlave = -1;         // the unit's own slave descriptor, open while plugged
    int m_fdWake[2] = {-1, -1}; // wakes the thread to stop
    std::string m_strSlavePath;
    std::thread m_thread;
    bool m_bStarted = false;
    bool m_bServeFdUsed = false; // the descriptor of nServeFd was taken (and maybe closed)
    std::atomic<bool> m_bStopThread{false};

    // Data, guarded by m_mtxData (held briefly, never during I/O or pauses).
    mutable std::mutex m_mtxData;
    UnitSettings m_settings;
    UnitSettings m_committed;
    VirtualUnitFaults m_faults;
    int m_nSetLinesSinceFaults = 0;
    std::vector<std::string> m_arrReceivedLines;
    std::string m_strReceivedBytes;
    std::string m_strLastError;
    bool m_bPlugged = false;

    // Thread-only line assembly.
    std::string m_strLine;
    bool m_bLastWasCr = false;
    bool m_bDiscarding = false; // an over-long line was refused; skip to its end
};
