#include "dialog/record_count_text.h"

#include <cstdint>

unsigned ParseUnsignedItemText(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    uint64_t nValue = 0;
    size_t nDigits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++nDigits) {
        nValue = nValue * 10 + static_cast<unsigned>(text[i] - '0');
        if (nValue > UINT32_MAX)
            return 0; // the conversion fails as a whole
    }
    return nDigits == 0 ? 0 : static_cast<unsigned>(nValue);
}

int SpinPosFromCount(int nCount, int nLower, int nUpper) {
    const int nPos = static_cast<int16_t>(static_cast<uint32_t>(nCount) & 0xFFFF);
    if (nPos < nLower)
        return nLower;
    if (nPos > nUpper)
        return nUpper;
    return nPos;
}
