#pragma once
// The handles the session keeps for its serial port; link/ opens, reads and
// closes them (link/SerialIo.h). Display-free.

#include <cstdint>

// A platform port handle held as an integer (a descriptor, or a handle value).
using SerialHandle = std::intptr_t;
constexpr SerialHandle kNoSerialPort = -1;

// A wake-up for a thread waiting on the port: once signalled, every wait
// given it returns at once. kNoSerialWake where the platform has none.
using SerialWake = std::intptr_t;
constexpr SerialWake kNoSerialWake = -1;
