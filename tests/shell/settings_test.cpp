// Parsing of the "FontSize" and "SearchKey" texts of the settings file, and the FontSize form
// written back.
#include <gtest/gtest.h>

#include "shell/settings.h"
#include "tests/support/testing.h"

using namespace qm;

TEST(SettingsFontSize, ParsesRoundsAndClamps) {
    struct Case {
        const wchar_t* text;
        int tenths;
    } cases[] = {
        {L"9", 90},       {L"10.5", 105},  {L"  12", 120},   {L"10.54", 105}, {L"10.55", 106},
        {L"40", 320},     {L"32", 320},    {L"6", 60},       {L"5.9", 60},    {L"abc", 60},
        {L"", 60},        {L"-12", 60},    {L"11pt", 110},   {L"+8", 80},     {L"1e1", 100},
        {L"1e400", 320},  {L"1e-400", 60}, {L"inf", 60},     {L"0x10", 60},   {L".5e2", 320},
        {L"7.", 70},      {L"1e", 60},     {L"12,5", 120},
    };
    for (const Case& k : cases) EXPECT_EQ(parseFontSize(k.text), k.tenths) << qmtest::u8(k.text);
}

TEST(SettingsFontSize, WritesTenthsOnlyWhenNeeded) {
    EXPECT_EQ(formatFontSize(90), L"9");
    EXPECT_EQ(formatFontSize(105), L"10.5");
    EXPECT_EQ(formatFontSize(320), L"32");
    EXPECT_EQ(formatFontSize(61), L"6.1");
    for (int tenths = kMinFontTenths; tenths <= kMaxFontTenths; ++tenths)
        EXPECT_EQ(parseFontSize(formatFontSize(tenths)), tenths) << tenths;
}

TEST(SettingsSearchKey, KeyAndShiftFromTheText) {
    struct Case {
        const wchar_t* text;
        wchar_t key;
        bool shift;
    } cases[] = {
        {L"Ctrl+Shift+F", L'F', true},
        {L"Ctrl+K", L'K', false},
        {L"shift+f", L'F', true},
        {L"ctrl+shift+f3", L'F', true},
        {L"Ctrl+Shift+F3", L'F', true},
        {L"Ctrl++", 0, false},
        {L"Ctrl+Shift+#", 0, true},
        {L"", 0, false},
        {L"g", L'G', false},
        {L"7", L'7', false},
        {L"Alt+Shift+X", L'X', false},  // only the two prefixes set Shift
        {L"Ctrl+Shift+1", L'1', true},
    };
    for (const Case& k : cases) {
        wchar_t key = L'?';
        bool shift = !k.shift;
        parseSearchKey(k.text, key, shift);
        EXPECT_EQ(key, k.key) << qmtest::u8(k.text);
        EXPECT_EQ(shift, k.shift) << qmtest::u8(k.text);
    }
}

TEST(SettingsClamp, KeepsValuesInRange) {
    EXPECT_EQ(clampSetting(7, 0, 3), 3);
    EXPECT_EQ(clampSetting(-1, 0, 2), 0);
    EXPECT_EQ(clampSetting(1, 0, 2), 1);
}
