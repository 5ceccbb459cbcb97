// The parts of preset file access that all platforms share.
#include "presets/FileAccess.h"

#include <random>

std::string ReplacementTempName()
{
    static const char* kHex = "0123456789abcdef";
    std::random_device rd;
    std::string strName = ".qvl-";
    for (int i = 0; i < 8; ++i) {
        const unsigned b = static_cast<unsigned>(rd()) & 0xFFu;
        strName += kHex[b >> 4];
        strName += kHex[b & 0x0Fu];
    }
    return strName + ".tmp";
}
