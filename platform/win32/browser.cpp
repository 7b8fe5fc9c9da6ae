#include <windows.h>

#include "platform/browser.h"
#include "platform/win32/text.h"

namespace platform {

namespace {
// Code page 936; bytes that are not GBK become the system's replacement character.
std::string fromGbk(std::string_view bytes) {
    if (bytes.empty()) return {};
    int n = MultiByteToWideChar(936, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(936, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
    return win32::narrow(wide);
}
}  // namespace

std::unique_ptr<Browser> systemBrowser() {
    return makeBrowser(systemFetcher(), fromGbk);
}

}  // namespace platform
