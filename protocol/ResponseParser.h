#pragma once
// The unit's reply grammar. Given the command line sent last (exactly as
// sent, carriage return included) and everything received since, decides
// whether the reply is complete, whether it is an error reply, and stores the
// values a good reply carries. Display-free.
//
// Replies are read as lines: runs of characters other than CR and LF that a
// CR or LF ends. Empty lines, and so stray CR/LF at the start of a reply
// (the late LF of an earlier line), are skipped.
//
// Error reply, the one rule for every command: the last complete line is
// exactly "ERROR". A settings read is an error reply as well when any of its
// lines lacks its own label at its position (an "ERROR" line among them is
// such a line). Nothing is stored from an error reply, except that the serial
// number becomes empty.

#include <string>

#include "editor/Records.h"

enum class ReplyVerdict {
    Incomplete, // more text is needed
    Complete,   // a good reply; its values are stored
    Error,      // an error reply (or one that does not match): nothing stored
};

// Reply rules, one per command:
//   "ver\r"     two lines, "VER ..." then "MCUID ..." (or "SN ..."), both kept
//               whole as version and MCU ID
//   "serial\r"  one line behind a 7-character label
//   "get\r"     24 lines, each behind its own label ("GET 1 apn ", ...)
//   "fe\r", "fw\r"  exactly "FE OK"/"FW OK" with CR LF
//   "set ..."   the line echoed back, letter case aside
// Incomplete, storing nothing, for an unknown or empty command.
ReplyVerdict ParseResponse(const std::wstring& strSendData, const std::wstring& strRecv, DeviceInfo& info,
                           WwanProfiles& profiles, WifiSettings& wifi);
