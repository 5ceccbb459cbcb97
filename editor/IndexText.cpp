#include "editor/IndexText.h"

#include <climits>
#include <cwctype>

int IndexTextToInt(const std::wstring& strText)
{
    size_t i = 0;
    while (i < strText.size() && std::iswspace(static_cast<wint_t>(strText[i])))
        ++i;
    bool bNegative = false;
    if (i < strText.size() && (strText[i] == L'+' || strText[i] == L'-')) {
        bNegative = strText[i] == L'-';
        ++i;
    }
    long long nValue = 0;
    bool bOverflow = false;
    for (; i < strText.size() && strText[i] >= L'0' && strText[i] <= L'9'; ++i) {
        if (!bOverflow) {
            nValue = nValue * 10 + (strText[i] - L'0');
            if (nValue > static_cast<long long>(INT_MAX) + 1)
                bOverflow = true;
        }
    }
    if (bNegative) {
        if (bOverflow || -nValue < INT_MIN)
            return INT_MIN;
        return static_cast<int>(-nValue);
    }
    if (bOverflow || nValue > INT_MAX)
        return INT_MAX;
    return static_cast<int>(nValue);
}

std::wstring IndexToText(int nIndex)
{
    return std::to_wstring(nIndex);
}
