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
// lines, from its first labelled one on, lacks its own label at its position
// (an "ERROR" line among them is such a line). Nothing is stored from an error reply, except that the serial
// number becomes empty.

#include <string>

#include "core/Records.h"

enum class ReplyVerdict {
    Incomplete, // more text is needed
    Complete,   // a good reply; its values are stored
    Error,      // an error reply (or one that does not match): nothing stored
    Settling,   // a good reply that may still grow: complete, and stored,
                // once the line has stayed quiet for kReplySettleMs; only
                // where the text cannot tell (see "ver" and "serial" below)
};

// How long a reply that may still grow must stay quiet to be complete. A
// unit behind a USB-serial bridge at 9600 baud fills a 64-byte bulk packet in
// 67 ms (10 bits a character) and a bridge sends a partial one after its
// latency timer (16 ms on common bridges); a native USB unit's packets follow
// each other within 1 ms frames. 100 ms of silence therefore means the unit
// has stopped talking, while an extra line it still sends is waited for.
constexpr int kReplySettleMs = 100;

// Reply rules, one per command:
//   "ver\r"     a "VER ..." line and a "MCUID ..." (or "SN ...") line, kept
//               whole as version and MCU ID: complete with both; either one
//               alone settles (the other may still come) and sets only its
//               own field; a line of neither kind before both are in is an
//               error reply, lines after are ignored
//   "serial\r"  the rest of the first line labelled "SERIAL ", complete at
//               once; else, settling, of a line labelled "SN " (the MCU ID's
//               label as well) or of a lone unlabelled line behind a
//               seven-character label; other lines are ignored
//   "get\r"     24 lines, each behind its own label ("GET 1 apn ", ...);
//               whole lines before the first one are passed over and logged
//               (an "ERROR" among them makes an error reply); a line that is
//               its label without the final blank ("GET 1 user", as a unit
//               that trims trailing blanks sends an empty value) holds an
//               empty value
//   "fe\r", "fw\r"  exactly "FE OK"/"FW OK" with CR LF
//   "set ..."   the line echoed back, letter case aside
// Incomplete, storing nothing, for an unknown or empty command.
// bQuiet: the line has been quiet for kReplySettleMs since strRecv was
// complete; a reply that would be Settling is then Complete and stored.
ReplyVerdict ParseResponse(const std::wstring& strSendData, const std::wstring& strRecv, DeviceInfo& info,
                           WwanProfiles& profiles, WifiSettings& wifi, bool bQuiet = false);
