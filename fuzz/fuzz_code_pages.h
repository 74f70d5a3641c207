#pragma once
// The system ANSI code pages the program may meet: the one of every locale language.

#include <array>
#include <cstdint>

namespace fuzz {

inline constexpr std::array<unsigned, 14> kCodePages{1250, 1251, 1252, 1253, 1254, 1255, 1256,
                                                     1257, 1258, 874,  932,  936,  949,  950};

inline unsigned CodePageFromByte(std::uint8_t byte) {
    return kCodePages[byte % kCodePages.size()];
}

// One byte is one character.
inline bool IsSingleByte(unsigned codePage) {
    return codePage != 932 && codePage != 936 && codePage != 949 && codePage != 950;
}

// glibc's converters for these compose a letter and a following combining mark.
inline bool JoinsCombiningMarks(unsigned codePage) {
    return codePage == 1255 || codePage == 1258;
}

}  // namespace fuzz
