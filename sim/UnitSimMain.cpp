// qvl-unit-sim: a virtual QVL unit on a pseudo-terminal, for running the
// utility without hardware. Prints the port path, then takes "unplug",
// "plug" and "quit" lines on standard input (end of input quits too).

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "core/Logging.h"
#include "core/TextUtil.h"
#include "protocol/WireFields.h"
#include "sim/VirtualUnit.h"

namespace {

const char* kUsage =
    "Usage: qvl-unit-sim [options]\n"
    "Serves the QVL unit's command protocol on a pseudo-terminal and prints its path.\n"
    "Then reads commands on standard input: unplug, plug, quit (end of input quits),\n"
    "lines (prints every line received so far, escaped, then a line \".\").\n"
    "\n"
    "Port and state:\n"
    "  --link=PATH           keep a symlink at PATH pointing at the current port\n"
    "  --state=FILE          load the stored settings from FILE and save them on fw/fe\n"
    "  --fd=N                serve on descriptor N (a pty master made by the caller,\n"
    "                        e.g. an emulated /dev/ttyACM0) instead of a pty of its own;\n"
    "                        prints \"fd N\"; plug cannot reopen it\n"
    "Identity:\n"
    "  --version=TEXT        firmware version the unit reports (default 1.0.4)\n"
    "  --mcuid=TEXT          MCU ID (default 0123ABCD)\n"
    "  --serial=TEXT         serial number (default 12345678)\n"
    "  --version-reply=TEXT  the whole reply to \"ver\" (escapes \\r \\n \\t \\\\ \\xHH)\n"
    "  --serial-reply=TEXT   the whole reply to \"serial\" (escapes as above)\n"
    "  --identity=KIND       how \"ver\" is answered: both (VER and MCUID lines,\n"
    "                        the default), version (the VER line alone), mcuid\n"
    "                        (the MCUID line alone) or extra (both and a BUILD line)\n"
    "  --trim-empty          send an empty value's GET line without the blank\n"
    "                        after its label\n"
    "Initial settings (factory defaults otherwise; ignored when the state file exists):\n"
    "  --init=P.FIELD=VALUE  P is 1..4 or w; FIELD apn, user, pw, auth, pdp (1..4)\n"
    "                        or ssid, sec, pw_type, pw (w); may be repeated\n"
    "Faults:\n"
    "  --error-on-set=N      answer ERROR to the N-th set line\n"
    "  --error-on=LINE       answer ERROR to this exact line (escapes; e.g. fw\\r)\n"
    "  --silent-on=LINE      never answer this line (without a final \\r: any line\n"
    "                        starting with it)\n"
    "  --chunk=N             send replies in pieces of N bytes ...\n"
    "  --chunk-pause=MS      ... with MS milliseconds between them\n"
    "  --line-packets        send each line of a reply alone, --chunk-pause apart\n"
    "  --late-lf=MS          send the LF of every line end alone, MS later\n"
    "  --noise=TEXT          send TEXT before every reply (escapes)\n"
    "  --cut-value=P.FIELD   accept set lines of this field but store the value\n"
    "                        without its last character (e.g. 1.apn)\n"
    "Program:\n"
    "  -h, --help            show this text and exit\n"
    "  --version             show this program's version and exit\n";

int g_fdSignal[2] = {-1, -1};

void OnSignal(int)
{
    const char c = 's';
    const ssize_t n = write(g_fdSignal[1], &c, 1);
    (void)n;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// C-style escapes: \r \n \t \\ \xHH. False on a malformed escape.
bool Unescape(const std::string& strText, std::string& strOut)
{
    strOut.clear();
    for (size_t i = 0; i < strText.size(); ++i) {
        if (strText[i] != '\\') {
            strOut += strText[i];
            continue;
        }
        if (++i >= strText.size())
            return false;
        switch (strText[i]) {
        case 'r':
            strOut += '\r';
            break;
        case 'n':
            strOut += '\n';
            break;
        case 't':
            strOut += '\t';
            break;
        case '\\':
            strOut += '\\';
            break;
        case 'x': {
            const int nHigh = i + 1 < strText.size() ? HexValue(strText[i + 1]) : -1;
            const int nLow = i + 2 < strText.size() ? HexValue(strText[i + 2]) : -1;
            if (nHigh < 0 || nLow < 0)
                return false;
            strOut += static_cast<char>(nHigh * 16 + nLow);
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

bool ParseCount(const std::string& strText, long nMax, long& nValue)
{
    if (strText.empty())
        return false;
    char* pEnd = nullptr;
    errno = 0;
    nValue = std::strtol(strText.c_str(), &pEnd, 10);
    return errno == 0 && *pEnd == '\0' && nValue >= 0 && nValue <= nMax;
}

// A received line on one line of output: \r \n \\ and other control
// characters as escapes.
std::string Escaped(const std::string& strLine)
{
    std::string strOut;
    for (const char c : strLine) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r')
            strOut += "\\r";
        else if (c == '\n')
            strOut += "\\n";
        else if (c == '\\')
            strOut += "\\\\";
        else if (u < 0x20 || u == 0x7F) {
            static const char* kHex = "0123456789abcdef";
            strOut += std::string("\\x") + kHex[u >> 4] + kHex[u & 15];
        } else
            strOut += c;
    }
    return strOut;
}

int Usage(const std::string& strWhy)
{
    std::cerr << "qvl-unit-sim: " << strWhy << "\n" << kUsage;
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    VirtualUnitOptions options;
    options.settings = FactoryUnitSettings();
    VirtualUnitFaults faults;
    std::string strVersion = "1.0.4", strMcuId = "0123ABCD", strSerial = "12345678";
    std::string strVersionReply, strSerialReply;
    IdentityVariant identity = IdentityVariant::Both;

    for (int i = 1; i < argc; ++i) {
        const std::string strArg = argv[i];
        const size_t nEq = strArg.find('=');
        const std::string strName = strArg.substr(0, nEq);
        const std::string strValue = nEq == std::string::npos ? std::string() : strArg.substr(nEq + 1);
        const bool bHasValue = nEq != std::string::npos;
        long nNumber = 0;
        std::string strText;

        if (strName == "--help" || strName == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (strArg == "--version") { // with a value it sets the unit's firmware version
            std::cout << "qvl-unit-sim " << kVersionText << "\n";
            return 0;
        }
        if (strArg == "--line-packets") {
            faults.bPacketPerLine = true;
            continue;
        }
        if (strArg == "--trim-empty") {
            options.bTrimEmptyValues = true;
            continue;
        }
        if (!bHasValue)
            return Usage("unknown option " + strArg);
        if (strName == "--link") {
            options.strLinkPath = strValue;
        } else if (strName == "--state") {
            options.strStateFile = strValue;
        } else if (strName == "--fd") {
            if (!ParseCount(strValue, 1 << 20, nNumber))
                return Usage("bad descriptor in " + strArg);
            options.nServeFd = static_cast<int>(nNumber);
        } else if (strName == "--version") {
            strVersion = strValue;
        } else if (strName == "--mcuid") {
            strMcuId = strValue;
        } else if (strName == "--serial") {
            strSerial = strValue;
        } else if (strName == "--version-reply" || strName == "--serial-reply") {
            if (!Unescape(strValue, strText))
                return Usage("bad escape in " + strArg);
            (strName == "--version-reply" ? strVersionReply : strSerialReply) = strText;
        } else if (strName == "--identity") {
            if (strValue == "both")
                identity = IdentityVariant::Both;
            else if (strValue == "version")
                identity = IdentityVariant::VersionOnly;
            else if (strValue == "mcuid")
                identity = IdentityVariant::McuIdOnly;
            else if (strValue == "extra")
                identity = IdentityVariant::ExtraLine;
            else
                return Usage("unknown identity kind in " + strArg);
        } else if (strName == "--init") {
            // P.FIELD=VALUE
            const size_t nDot = strValue.find('.');
            const size_t nValueEq = strValue.find('=');
            if (nDot == std::string::npos || nValueEq == std::string::npos || nValueEq < nDot
                || !SetUnitField(options.settings, strValue.substr(0, nDot),
                                 strValue.substr(nDot + 1, nValueEq - nDot - 1),
                                 FromUtf8(strValue.substr(nValueEq + 1))))
                return Usage("bad initial value " + strArg);
        } else if (strName == "--error-on-set") {
            if (!ParseCount(strValue, 1000000, nNumber))
                return Usage("bad number in " + strArg);
            faults.nErrorOnSetLine = static_cast<int>(nNumber);
        } else if (strName == "--error-on" || strName == "--silent-on" || strName == "--noise") {
            if (!Unescape(strValue, strText))
                return Usage("bad escape in " + strArg);
            (strName == "--error-on"        ? faults.strErrorOnCommand
                 : strName == "--silent-on" ? faults.strSilentOnCommand
                                            : faults.strNoise) = strText;
        } else if (strName == "--cut-value") {
            const size_t nDot = strValue.find('.');
            if (nDot == std::string::npos || !FindWireField(strValue.substr(0, nDot), strValue.substr(nDot + 1)))
                return Usage("bad field in " + strArg);
            faults.strCutValue = strValue.substr(0, nDot) + " " + strValue.substr(nDot + 1);
        } else if (strName == "--chunk") {
            if (!ParseCount(strValue, 1 << 20, nNumber))
                return Usage("bad number in " + strArg);
            faults.nChunkSize = static_cast<size_t>(nNumber);
        } else if (strName == "--chunk-pause") {
            if (!ParseCount(strValue, 60000, nNumber))
                return Usage("bad number in " + strArg);
            faults.nChunkPauseMs = static_cast<int>(nNumber);
        } else if (strName == "--late-lf") {
            if (!ParseCount(strValue, 60000, nNumber))
                return Usage("bad number in " + strArg);
            faults.nLateLfMs = static_cast<int>(nNumber);
        } else {
            return Usage("unknown option " + strArg);
        }
    }
    options.strVersionReply =
        !strVersionReply.empty() ? strVersionReply : IdentityReply(identity, strVersion, strMcuId);
    options.strSerialReply = !strSerialReply.empty() ? strSerialReply : "SERIAL " + strSerial + "\r\n";

    if (pipe(g_fdSignal) != 0) {
        std::perror("qvl-unit-sim: pipe");
        return 1;
    }
    struct sigaction sa { };
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN); // a reader that went away must not kill us before the cleanup

    VirtualUnit unit(options);
    unit.SetFaults(faults); // before the port appears: no line is served without them
    std::string strError;
    if (!unit.Start(&strError)) {
        std::cerr << "qvl-unit-sim: " << strError << "\n";
        return 1;
    }
    std::cout << unit.PortPath() << std::endl;

    std::string strPending;
    bool bRunning = true;
    while (bRunning) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {g_fdSignal[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents != 0)
            break;
        char buf[256];
        const ssize_t nRead = read(STDIN_FILENO, buf, sizeof(buf));
        if (nRead < 0 && errno == EINTR)
            continue;
        if (nRead <= 0)
            break; // end of input
        strPending.append(buf, static_cast<size_t>(nRead));
        size_t nEnd;
        while (bRunning && (nEnd = strPending.find('\n')) != std::string::npos) {
            std::string strCommand = strPending.substr(0, nEnd);
            strPending.erase(0, nEnd + 1);
            while (!strCommand.empty() && (strCommand.back() == '\r' || strCommand.back() == ' '))
                strCommand.pop_back();
            if (strCommand == "unplug") {
                unit.Unplug();
            } else if (strCommand == "plug") {
                if (unit.Plug())
                    std::cout << unit.PortPath() << std::endl;
                else
                    std::cerr << "qvl-unit-sim: plug failed: " << unit.LastError() << std::endl;
            } else if (strCommand == "lines") {
                for (const std::string& strLine : unit.ReceivedLines())
                    std::cout << Escaped(strLine) << "\n";
                std::cout << "." << std::endl;
            } else if (strCommand == "quit") {
                bRunning = false;
            } else if (!strCommand.empty()) {
                std::cerr << "qvl-unit-sim: unknown command " << strCommand << " (unplug, plug, quit)" << std::endl;
            }
        }
    }
    unit.Stop();
    return 0;
}
