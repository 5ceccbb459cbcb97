// libFuzzer target: a whole, valid conversation with the unit (identity,
// settings read, 24 set echoes, commit) received in whatever pieces the input
// chooses, with late line feeds before replies and noise between them. The
// session takes every piece as its receive thread does and every reply as its
// transactions do. Whatever the split, each value stored is the one the unit
// sent, never another value, never a crash; and an exchange fails only where
// bytes other than line ends from an earlier reply arrive ahead of its own.
//
// Input, read front to back (a short input reads as zeros, which gives the
// conversation in one piece per reply without noise):
//   the values: a few bytes per value, appended to a default text;
//   then per command: leading line feeds, noise, piece sizes, how many more
//   pieces arrive before the waiting transaction takes the reply and before
//   the next command is recorded, and whether the piece after those is read
//   before that command is recorded but handed over after.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/QVLSession.h"
#include "core/TextUtil.h"

namespace {

class Input {
public:
    Input(const uint8_t* pData, size_t nSize) : m_p(pData), m_n(nSize) { }
    uint8_t Next()
    {
        if (m_n == 0)
            return 0;
        --m_n;
        return *m_p++;
    }

private:
    const uint8_t* m_p;
    size_t m_n;
};

[[noreturn]] void Broken(const std::string& strWhat)
{
    std::fprintf(stderr, "invariant broken: %s\n", strWhat.c_str());
    std::abort();
}

// The session with the two threads' steps run one after the other, in the
// order the input picks.
class SteppedSession : public CQVLSession {
public:
    // The transaction's start (the port's unread input is discarded just
    // before): the reply text emptied, the command recorded and outstanding.
    void Record(const std::wstring& strCommand) { RecordCommand(strCommand); }
    // The command sequence number as a read that returns now sees it.
    unsigned long Seq() const { return m_nCommandSeq; }
    // The receive thread's step for one chunk read from the port while nSeq
    // was the command sequence number.
    void Arrive(const std::string& strBytes, unsigned long nSeq)
    {
        ReceiveChunk(strBytes.data(), strBytes.size(), nSeq);
    }
    void Arrive(const std::string& strBytes) { Arrive(strBytes, Seq()); }
    // The receive thread's step when the line has stayed quiet.
    void Quiet() { SettleRecvData(); }
    // What the waiting transaction sees when it wakes.
    TxStatus Status() const
    {
        auto lock = LockShared();
        if (!m_bReplyComplete)
            return TxStatus::Timeout;
        return m_bReplyError ? TxStatus::ErrorReply : TxStatus::Ok;
    }
};

struct Exchange {
    std::string strCommand;
    std::string strReply;
};

// A value made of a default text and up to seven characters of the alphabet.
std::string Value(Input& in, const std::string& strDefault, const char* pszAlphabet)
{
    std::string str = strDefault;
    const std::string strAlphabet = pszAlphabet;
    for (int n = in.Next() % 8; n > 0; --n)
        str += strAlphabet[in.Next() % strAlphabet.size()];
    return str;
}

const char* const kPrintable =
    " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";
const char* const kHex = "0123456789ABCDEF.";

std::vector<std::wstring> SettingsOf(const CQVLSession& session)
{
    std::vector<std::wstring> values;
    for (int n = 0; n < kWwanCount; ++n) {
        const WwanProfile p = session.GetWwanProfile(n);
        values.insert(values.end(), {p.strApn, p.strUserName, p.strPassword, p.strAuthType, p.strPdpType});
    }
    const WifiSettings w = session.GetWifiSettings();
    values.insert(values.end(), {w.strSsid, w.strSecurity, w.strKeyFormat, w.strPassphrase});
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    Input in(pData, nSize);

    // The unit's values, in the order of its settings reply.
    const std::string strVersion = Value(in, "1.0.4", kHex);
    const std::string strMcuId = Value(in, "0123ABCD", kHex);
    const std::string strSerial = Value(in, "12345678", kHex);
    std::vector<std::string> keys;
    for (int n = 1; n <= kWwanCount; ++n)
        for (const char* pszKey : {" apn", " user", " pw", " auth", " pdp"})
            keys.push_back(std::to_string(n) + pszKey);
    for (const char* pszKey : {"w ssid", "w sec", "w pw_type", "w pw"})
        keys.push_back(pszKey);
    std::vector<std::string> values;
    for (const std::string& strKey : keys)
        values.push_back(Value(in, strKey.substr(strKey.find(' ') + 1), kPrintable));

    std::vector<Exchange> talk;
    talk.push_back({"ver\r", "VER " + strVersion + "\r\nMCUID " + strMcuId + "\r\n"});
    talk.push_back({"serial\r", "SERIAL " + strSerial + "\r\n"});
    std::string strGet;
    for (size_t i = 0; i < keys.size(); ++i)
        strGet += "GET " + keys[i] + " " + values[i] + "\r\n";
    talk.push_back({"get\r", strGet});
    for (size_t i = 0; i < keys.size(); ++i) {
        const std::string strLine = "set " + keys[i] + " " + values[i] + "\r";
        talk.push_back({strLine, strLine + "\n"});
    }
    talk.push_back({"fw\r", "FW OK\r\n"});

    std::vector<std::wstring> wideValues;
    for (const std::string& str : values)
        wideValues.push_back(FromUtf8(str));

    SteppedSession session;
    session.SetDeviceInfo(DeviceInfo{L"old", L"old", L"old"});
    const std::vector<std::wstring> oldSettings = SettingsOf(session);

    bool bReadDone = false;
    std::string strCarried;  // the unread rest of a reply, still on its way
    std::string strInFlight; // read before the command was recorded, handed over after
    unsigned long nInFlightSeq = 0;
    for (const Exchange& ex : talk) {
        static const char* const kLeads[] = {"", "", "\n", "\r\n"};
        const std::string strStream = strCarried + kLeads[in.Next() % 4] + ex.strReply;
        std::string strNoise;
        for (int n = in.Next() % 8; n > 0; --n)
            strNoise += static_cast<char>(in.Next());

        std::vector<std::string> chunks;
        for (size_t nPos = 0; nPos < strStream.size();) {
            const uint8_t nSize = in.Next();
            const size_t nTake =
                nSize == 0 ? strStream.size() - nPos : std::min<size_t>(nSize, strStream.size() - nPos);
            chunks.push_back(strStream.substr(nPos, nTake));
            nPos += nTake;
        }
        const size_t nStreamChunks = chunks.size();
        if (!strNoise.empty())
            chunks.push_back(strNoise);
        const size_t nBeforeWake = in.Next() % 3;
        const uint8_t nNextByte = in.Next();
        const size_t nBeforeNext = nNextByte % 3;
        const bool bInFlight = nNextByte / 3 % 2 == 1;

        session.Record(FromUtf8(ex.strCommand));
        if (!strInFlight.empty())
            session.Arrive(strInFlight, nInFlightSeq);
        size_t nFed = 0;
        while (nFed < chunks.size() && session.Status() == TxStatus::Timeout)
            session.Arrive(chunks[nFed++]);
        if (session.Status() == TxStatus::Timeout)
            session.Quiet(); // all of it is in: a reply that could still grow completes
        for (size_t n = 0; session.Status() != TxStatus::Timeout && n < nBeforeWake && nFed < chunks.size(); ++n)
            session.Arrive(chunks[nFed++]);
        // As the transactions judge it; a unit without a serial number
        // answers that command with an error reply.
        const TxStatus status = session.Status();
        const bool bOk = status == TxStatus::Ok || (status == TxStatus::ErrorReply && ex.strCommand == "serial\r");

        // The values this command carries, as the waiting transaction reads them.
        const DeviceInfo info = session.GetDeviceInfo();
        if (ex.strCommand == "ver\r" && bOk
            && (info.strVersion != FromUtf8("VER " + strVersion) || info.strMcuId != FromUtf8("MCUID " + strMcuId)))
            Broken("identity read in pieces differs: " + ToUtf8(info.strVersion) + " / " + ToUtf8(info.strMcuId));
        if (ex.strCommand == "serial\r" && bOk && info.strSerial != FromUtf8(strSerial))
            Broken("serial number read in pieces differs: " + ToUtf8(info.strSerial));
        if (ex.strCommand == "get\r") {
            const std::vector<std::wstring> now = SettingsOf(session);
            if (bOk && now != wideValues)
                Broken("settings read in pieces differ from the unit's");
            if (!bOk && now != oldSettings && now != wideValues)
                Broken("a failed settings read left a mix of values");
            bReadDone = bOk;
        }
        // A reply split anywhere must be read. (Noise comes only after the
        // whole reply; the one thing that may spoil an exchange is the rest
        // of an earlier reply, other than its line ends, arriving ahead.)
        if (!bOk && strCarried.find_first_not_of("\r\n") == std::string::npos)
            Broken("a clean exchange did not complete: " + ex.strCommand.substr(0, ex.strCommand.size() - 1)
                   + (status == TxStatus::Timeout ? " (no reply seen)" : " (taken as an error reply)"));
        if (!bOk)
            return 0; // the utility stops at the first failed exchange

        for (size_t n = 0; n < nBeforeNext && nFed < chunks.size(); ++n)
            session.Arrive(chunks[nFed++]);
        strInFlight.clear();
        nInFlightSeq = session.Seq();
        if (bInFlight && nFed < chunks.size())
            strInFlight = chunks[nFed++];
        // Unread reply bytes are still on the wire and arrive after the next
        // command; unread noise waits in the port's buffer, which is emptied
        // before the next command.
        strCarried.clear();
        for (size_t n = nFed; n < nStreamChunks; ++n)
            strCarried += chunks[n];
    }
    // Whatever still comes in after the last exchange.
    if (!strInFlight.empty())
        session.Arrive(strInFlight, nInFlightSeq);
    if (!strCarried.empty())
        session.Arrive(strCarried);

    const DeviceInfo info = session.GetDeviceInfo();
    if (info.strVersion != FromUtf8("VER " + strVersion) || info.strMcuId != FromUtf8("MCUID " + strMcuId)
        || info.strSerial != FromUtf8(strSerial))
        Broken("identity changed after its exchange: " + ToUtf8(info.strVersion) + " / " + ToUtf8(info.strMcuId) + " / "
               + ToUtf8(info.strSerial));
    if (bReadDone && SettingsOf(session) != wideValues)
        Broken("settings changed after their exchange");
    return 0;
}
