#include "jw/autostart.h"

namespace jw {

std::string escapedExePath(std::string_view programDir) {
    std::string out;
    std::size_t start = 0;
    for (;;) {
        std::size_t sep = programDir.find('\\', start);
        out += programDir.substr(start, sep == std::string_view::npos ? std::string_view::npos : sep - start);
        out += "\\\\";
        if (sep == std::string_view::npos) break;
        start = sep + 1;
    }
    return out + "tolm.exe";
}

namespace {
// The batch interpreter expands percent signs even inside quotation marks; doubled, each
// stands for itself. Other special characters of the path stand inside quotation marks.
std::string percentsDoubled(std::string_view s) {
    std::string out;
    for (char c : s) {
        out += c;
        if (c == '%') out += '%';
    }
    return out;
}
}  // namespace

std::string batchText(std::string_view programDir, std::string_view text1, std::string_view text2) {
    const std::string lines[] = {
        "@echo off ",
        // The registry editor ignores a script whose first line is not exactly REGEDIT4, and the
        // blank before a line end would go into the file: this line has none.
        "echo REGEDIT4>tolm.reg",
        "echo. ",
        "echo [HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\run]>>tolm.reg ",
        std::string(text1) + percentsDoubled(escapedExePath(programDir)) + std::string(text2),
        "regedit /s tolm.reg &del tolm.reg ",
    };
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
}

}  // namespace jw
