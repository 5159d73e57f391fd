// The kind and name of each NT version: everything from XP on is kind XP
// ("XP or later"), and the display text names the version itself.
#include <gtest/gtest.h>

#include <string>

#include "core/os_version.h"

using namespace core;

TEST(OsVersion, NtVersionsMapToKindAndName) {
    static const struct {
        uint32_t major, minor, build;
        uint32_t kind;
        const char* name;
    } kCases[] = {
        {4, 0, 1381, kOsWindowsNT, "NT"},    {5, 0, 2195, kOsWindows2000, "2000"}, {5, 1, 2600, kOsWindowsXP, "XP"},
        {5, 2, 3790, kOsWindowsXP, "XP"},    {6, 0, 6002, kOsWindowsXP, "Vista"},  {6, 1, 7601, kOsWindowsXP, "7"},
        {6, 2, 9200, kOsWindowsXP, "8"},     {6, 3, 9600, kOsWindowsXP, "8.1"},    {10, 0, 19045, kOsWindowsXP, "10"},
        {10, 0, 22000, kOsWindowsXP, "11"},  {10, 0, 26100, kOsWindowsXP, "11"},
    };
    for (size_t i = 0; i < std::size(kCases); ++i) {
        const auto& c = kCases[i];
        SCOPED_TRACE("case " + std::to_string(i));
        EXPECT_EQ(NtOsKind(c.major, c.minor), c.kind);
        EXPECT_STREQ(OsName(c.kind, c.major, c.minor, c.build), c.name);
    }
    EXPECT_STREQ(OsName(kOsWindows95, 4, 0, 950), "95");
    EXPECT_STREQ(OsName(kOsWindows98, 4, 10, 1998), "98");
}
