#pragma once
// What qvlctl needs of its platform beyond the core: the standard streams, and
// whether a named port is there before anything is sent. Display-free.

#include <string>

// Readies the standard streams for results: false when standard output is
// closed (a result could not reach it).
bool PrepareStandardStreams();

// True when standard error is a terminal (progress lines go there then).
bool StderrIsTerminal();

// A port named with --port must be there, for every command: false with the
// message (without "qvlctl: ") when it is not, or is no serial port.
bool CheckPortName(const std::string& strPort, std::string& strMessage);
