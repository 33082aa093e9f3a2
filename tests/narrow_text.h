// Wide text for test messages: ASCII as it is, anything else as \uXXXX.
#pragma once

#include <cstdio>
#include <string>

inline std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            char buffer[16];
            (void)snprintf(buffer, sizeof(buffer), "\\u%04X", static_cast<unsigned>(c));
            out += buffer;
        }
    }
    return out;
}
