#include "registration_table.h"

#include <cstdio>
#include <vector>

std::string ShiftJisToUtf8(const char* text)
{
    if (!text)
        return "(none)";
    const int wide = MultiByteToWideChar(932, 0, text, -1, nullptr, 0);
    if (wide <= 0)
        return text;
    std::vector<wchar_t> w(wide);
    MultiByteToWideChar(932, 0, text, -1, w.data(), wide);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, w.data(), -1, nullptr, 0, nullptr, nullptr);
    std::vector<char> u(bytes);
    WideCharToMultiByte(CP_UTF8, 0, w.data(), -1, u.data(), bytes, nullptr, nullptr);
    return u.data();
}

std::string DescribeRegistration(const FilterRecord& r)
{
    std::string out;
    char line[256];
    auto add = [&](const char* format, auto... args) {
        std::snprintf(line, sizeof line, format, args...);
        out += line;
    };
    add("Filter      %s\n", ShiftJisToUtf8(r.displayName).c_str());
    add("Information %s\n", ShiftJisToUtf8(r.infoText).c_str());
    add("Flags       0x%08X\n", static_cast<unsigned>(r.flags));
    add("\n%-6s %-12s %8s %8s %8s\n", "Track", "Name", "Default", "Minimum", "Maximum");
    for (int i = 0; i < r.trackCount; ++i)
        add("%-6d %-12s %8d %8d %8d\n", i, ShiftJisToUtf8(r.trackNames[i]).c_str(), r.trackDefaults[i],
            r.trackMinima[i], r.trackMaxima[i]);
    add("\n%-6s %-12s %8s\n", "Check", "Name", "Default");
    for (int i = 0; i < r.checkCount; ++i) {
        // Pad by characters, not bytes, so the columns line up in UTF-8.
        const std::string name = ShiftJisToUtf8(r.checkNames[i]);
        int chars = 0;
        for (unsigned char c : name)
            chars += (c & 0xC0) != 0x80;
        const int pad = chars < 12 ? 12 - chars : 0;
        add("%-6d %s%*s %8d\n", i, name.c_str(), pad, "", r.checkDefaults[i]);
    }
    return out;
}
