// Case mapping must be the same natively and under Windows, where the C library folds only ASCII:
// a search without match case has to find "K\u00F6ln" for "K\u00D6LN".
#include <gtest/gtest.h>

#include "document/chars.h"

using namespace qm;

TEST(Chars, UpperAndLowerOfEuropeanLetters) {
    struct Case {
        wchar_t lower, upper;
    } cases[] = {
        {L'a', L'A'},        {0xE4, 0xC4},   {0xF6, 0xD6},   {0xFC, 0xDC},   {0xE9, 0xC9},   {0xFF, 0x178},
        {0x101, 0x100},      {0x107, 0x106}, {0x142, 0x141}, {0x144, 0x143}, {0x153, 0x152}, {0x161, 0x160},
        {0x17E, 0x17D},      {0x3B1, 0x391}, {0x3C9, 0x3A9}, {0x430, 0x410}, {0x44F, 0x42F}, {0x451, 0x401},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(unsigned(toUpper(c.lower)), unsigned(c.upper)) << unsigned(c.lower);
        EXPECT_EQ(unsigned(toLower(c.upper)), unsigned(c.lower)) << unsigned(c.upper);
        EXPECT_EQ(unsigned(toUpper(c.upper)), unsigned(c.upper)) << unsigned(c.upper);
        EXPECT_EQ(unsigned(toLower(c.lower)), unsigned(c.lower)) << unsigned(c.lower);
    }
    // Characters without a single upper-case partner stay as they are: sharp s does not become SS.
    for (wchar_t c : {wchar_t(0xDF), wchar_t(0xF7), wchar_t(0xD7), wchar_t(0x138), wchar_t(0x149), L'1', L'-'})
        EXPECT_EQ(unsigned(toUpper(c)), unsigned(c)) << unsigned(c);
    EXPECT_EQ(unsigned(toUpper(0x3C2)), 0x3A3u);  // final sigma
}

TEST(Chars, Latin1LettersAndDigitsAsOnWindows) {
    for (wchar_t c : {wchar_t(0xB9), wchar_t(0xB2), wchar_t(0xE4), wchar_t(0xDF), wchar_t(0xAA), L'Z', L'7'})
        EXPECT_TRUE(isAlnum(c)) << unsigned(c);
    for (wchar_t c : {wchar_t(0xD7), wchar_t(0xF7), wchar_t(0xA0), wchar_t(0xB7), wchar_t(0xBF), L'_', L'-'})
        EXPECT_FALSE(isAlnum(c)) << unsigned(c);
}
