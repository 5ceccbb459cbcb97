#pragma once
// One unit as qvlctl drives it: its own session (serial port, receive thread
// without the window's pause, transactions), run on one thread. Every
// operation reports a failure as a CtlError with the exit status it stands
// for. Display-free.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/QVLSession.h"
#include "qvlctl/CtlFields.h"

// Exit statuses.
enum CtlExit {
    kExitOk = 0,
    kExitUnit = 1, // the unit refused or did not answer, or read-back differed
    kExitUsage = 2,
    kExitNoUnit = 3,  // no unit found, or its port cannot be opened
    kExitInvalid = 4, // validation failed; nothing was sent
    kExitPreset = 5,  // the preset file cannot be read, is cut, or has no usable section
    kExitOutput = 6,  // the result could not be written (standard output closed, full, or gone)
};

struct CtlError {
    CtlError() = default;
    CtlError(int nExitStatus, std::string strText, std::string strFieldName, std::string strTextNoValues = {})
        : nExit(nExitStatus), strMessage(std::move(strText)), strField(std::move(strFieldName)),
          strNoValues(std::move(strTextNoValues))
    {
    }

    int nExit = kExitOk;
    std::string strMessage; // one line
    std::string strField;   // the field it concerns ("wwan1.apn"), empty when none
    // The message without the values it quotes, for records that must hold
    // none (the journal); empty when the message quotes no value.
    std::string strNoValues;
};

// The identity without the reply labels.
struct CtlIdentity {
    std::string strPort;
    std::string strVersion;
    std::string strMcuId;
    std::string strSerial;
};

class CCtlUnit {
public:
    explicit CCtlUnit(const std::string& strPort);
    ~CCtlUnit();
    CCtlUnit(const CCtlUnit&) = delete;
    CCtlUnit& operator=(const CCtlUnit&) = delete;

    // Opens the port and starts the receive thread; then reads the identity.
    bool Open(CtlError& err);
    bool ReadIdentity(CtlError& err);
    const CtlIdentity& Identity() const { return m_identity; }

    // Reads every setting into the session's records and returns them.
    bool ReadSettings(UnitSettings& settings, CtlError& err);

    // The records, which the preset sections are read into.
    CQVLSession& Session() { return m_session; }
    UnitSettings Records() const;
    void SetRecords(const UnitSettings& settings);

    // Writes wanted (the 24 set lines and "fw\r"), reads everything back and
    // compares field by field: true only when the unit holds exactly wanted.
    // previous is what the unit held when this run read it. When a set line
    // or the commit fails, the fields already sent are put back to previous
    // (without "fw") and checked, and err says whether that worked.
    bool Write(const UnitSettings& previous, const UnitSettings& wanted, CtlError& err,
               const std::function<void(const std::string&)>& progress);

    // Erases the unit's settings and reads what it then holds.
    bool Erase(UnitSettings& after, CtlError& err, const std::function<void(const std::string&)>& progress);

    void Close();

private:
    CtlError UnitError(const std::wstring& strText, bool bWithLine) const;
    // Sends previous for the first nSent fields where it differs from
    // wanted, then reads the working settings: true when they equal previous.
    bool Restore(const UnitSettings& previous, const UnitSettings& wanted, size_t nSent);

    CQVLSession m_session;
    CtlIdentity m_identity;
};

// Checks the records with the window's rules. False with err (exit 4) naming
// the first failing field.
bool ValidateSettings(const UnitSettings& settings, CtlError& err);

// The lines a write of the settings sends: the 24 set lines and "fw\r".
std::vector<std::wstring> WriteLines(const UnitSettings& settings);

// Checks that every field can go to the unit as it is: an index field holds
// one of its list positions, and every set line is printable ASCII ended by
// its one carriage return. False with err (exit 4) naming the first field
// that cannot.
bool CheckSendable(const UnitSettings& settings, CtlError& err);
