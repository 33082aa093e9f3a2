// Reads a report back, line by line, checking its format independently of
// the code that wrote it.
#pragma once

#include <cstdint>
#include <regex>
#include <string>
#include <vector>

struct ReportLine {
    uint32_t ms;
    int32_t count;
    uint32_t totalMs;
};

// Each line: the duration right-aligned in at least 2 characters, " ms × ",
// the count in at least 5, TAB, " = ", the total in at least 5, " ms", LF.
// Durations strictly ascending; total = duration * count modulo 2^32.
// On failure, returns false and says why in *error.
inline bool ParseReport(const std::wstring& text, std::vector<ReportLine>* lines, std::string* error) {
    static const std::wregex kLine(LR"(( *(\d+)) ms \u00D7 ( *(\d+))\t = ( *(\d+)) ms)");
    lines->clear();
    size_t begin = 0;
    while (begin < text.size()) {
        const std::string where = "line " + std::to_string(lines->size() + 1) + ": ";
        const size_t end = text.find(L'\n', begin);
        if (end == std::wstring::npos) {
            *error = where + "no line feed at the end";
            return false;
        }
        const std::wstring piece = text.substr(begin, end - begin);
        std::wsmatch match;
        if (!std::regex_match(piece, match, kLine)) {
            *error = where + "does not match the report format";
            return false;
        }
        if (match[1].length() < 2 || match[3].length() < 5 || match[5].length() < 5) {
            *error = where + "a column is narrower than its minimum width";
            return false;
        }
        const ReportLine line = {static_cast<uint32_t>(std::stoul(match[2].str())),
                                 static_cast<int32_t>(std::stol(match[4].str())),
                                 static_cast<uint32_t>(std::stoul(match[6].str()))};
        if (line.totalMs != line.ms * static_cast<uint32_t>(line.count)) {
            *error = where + "total " + std::to_string(line.totalMs) + " is not " +
                     std::to_string(line.ms) + " x " + std::to_string(line.count);
            return false;
        }
        if (!lines->empty() && lines->back().ms >= line.ms) {
            *error = where + "duration " + std::to_string(line.ms) + " does not ascend";
            return false;
        }
        lines->push_back(line);
        begin = end + 1;
    }
    return true;
}
