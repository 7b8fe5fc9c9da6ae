#include "platform/win32/font_cache.h"

#include <cwchar>
#include <vector>

#include "platform/win32/text.h"

namespace win32 {

namespace {

// The face names tried for a font, so that the windows look alike on Chinese Windows, other
// Windows and Wine with the WenQuanYi fonts.
int CALLBACK noteFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool faceExists(HDC dc, const wchar_t* face) {
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    bool found = false;
    EnumFontFamiliesExW(dc, &lf, noteFace, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

std::wstring chooseFace(HDC dc, const char* wanted) {
    std::vector<std::wstring> candidates;
    if (wanted) candidates.push_back(widen(wanted));
    for (const wchar_t* f : {L"宋体", L"SimSun", L"Microsoft YaHei", L"微软雅黑", L"WenQuanYi Zen Hei",
                             L"WenQuanYi Micro Hei", L"Tahoma"})
        candidates.emplace_back(f);
    for (const auto& f : candidates)
        if (faceExists(dc, f.c_str())) return f;
    return L"Tahoma";
}

}  // namespace

HFONT FontCache::get(const forms::Font& f, int dpi) {
    auto key = std::make_tuple(std::string(f.face ? f.face : ""), f.points, f.weight, f.charset, dpi);
    auto& slot = fonts_[key];
    if (!slot) {
        HDC dc = GetDC(nullptr);
        std::wstring face = chooseFace(dc, f.face);
        int height = -MulDiv(f.points, dpi, 72);
        ReleaseDC(nullptr, dc);
        slot.reset(CreateFontW(height, 0, 0, 0, f.weight, FALSE, FALSE, FALSE,
                               f.isDefault() ? DEFAULT_CHARSET : static_cast<BYTE>(f.charset), OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str()));
    }
    return slot.get();
}

void FontCache::keepOnly(const std::set<int>& dpisInUse) {
    std::erase_if(fonts_, [&](const auto& entry) { return !dpisInUse.count(std::get<4>(entry.first)); });
}

}  // namespace win32
