#pragma once
// Conversion of index text ("0", "1", " 2abc", "-1", ...) to a number, with the
// C library's atoi rules: leading white space is skipped, an optional sign and
// the decimal digits after it are read, reading stops at the first other
// character, text without a leading number gives 0. A number beyond the range
// of int is clamped to INT_MIN or INT_MAX, so it never selects a list item.

#include <string>

int IndexTextToInt(const std::wstring& strText);

// Canonical index text of a list selection: "%d" of the index, "-1" for none.
std::wstring IndexToText(int nIndex);
