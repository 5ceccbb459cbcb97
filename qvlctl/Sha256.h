#pragma once
// SHA-256 (FIPS 180-4) of a byte string, as 64 lower-case hex digits: the
// fingerprint of a preset file in the provisioning journal. Display-free.

#include <string>

std::string Sha256Hex(const std::string& strBytes);
