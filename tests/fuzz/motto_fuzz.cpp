// libFuzzer target: a page as the hostile web could send it, through what the motto feed does
// with it (charset, text check, body markup, frames, the motto and version split, the version
// test), and the same bytes as an update program whose version resource is read. Besides not
// crashing, the pieces must keep what they promise.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/markup.h"
#include "tolm/countdown/motto.h"
#include "tolm/update/file_version.h"
#include "tolm/update/version.h"

namespace markup = platform::markup;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto file = tolm::readFileVersion(bytes);
    auto release = tolm::readReleaseVersion(bytes);
    if (release.has_value() != (file && (*file)[2] == 0)) std::abort();
    // The first line stands for the Content-Type header, the rest for the body.
    std::size_t nl = bytes.find('\n');
    std::string_view type = nl == std::string_view::npos ? std::string_view() : bytes.substr(0, nl);
    std::string_view body = nl == std::string_view::npos ? bytes : bytes.substr(nl + 1);

    markup::detectCharset(type, body);
    markup::isBinary(type, body);
    std::string text = markup::cleanUtf8(body);
    if (markup::cleanUtf8("." + text) != "." + text) std::abort();  // cleaning is final

    std::string html = markup::bodyInnerHTML(text);
    if (html.size() > text.size()) std::abort();
    if (markup::cleanUtf8("." + html) != "." + html) std::abort();  // upper-casing tag names keeps UTF-8 valid
    markup::frameSources(text);

    tolm::MottoText t = tolm::splitMotto(html);
    std::string_view kept = std::string_view(html).substr(0, html.find("<SCRIPT"));
    std::string joined = t.version ? t.motto + "|" + *t.version : t.motto;
    if (joined != kept) std::abort();  // nothing lost or invented
    if (t.version) tolm::CheckVersion(*t.version, {1, 0, 34});
    return 0;
}
