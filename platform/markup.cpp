#include "platform/markup.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>

namespace platform::markup {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::string lowered(std::string_view s) {
    std::string r(s);
    std::transform(r.begin(), r.end(), r.begin(), lower);
    return r;
}

std::string_view trim(std::string_view s, std::string_view chars = " \t\r\n\f\"'") {
    while (!s.empty() && chars.find(s.front()) != std::string_view::npos) s.remove_prefix(1);
    while (!s.empty() && chars.find(s.back()) != std::string_view::npos) s.remove_suffix(1);
    return s;
}

// Case-insensitive search for an ASCII needle.
std::size_t findNoCase(std::string_view hay, std::string_view needle, std::size_t from) {
    if (needle.size() > hay.size()) return std::string_view::npos;
    for (std::size_t i = from; i + needle.size() <= hay.size(); ++i) {
        std::size_t k = 0;
        while (k < needle.size() && lower(hay[i + k]) == lower(needle[k])) ++k;
        if (k == needle.size()) return i;
    }
    return std::string_view::npos;
}

Charset charsetNamed(std::string_view name) {
    std::string n = lowered(trim(name));
    if (n == "utf-8" || n == "utf8") return Charset::Utf8;
    static constexpr std::array<std::string_view, 9> gbk{"gbk",         "gb2312",   "gb18030", "x-gbk",     "cp936",
                                                         "windows-936", "csgb2312", "chinese", "gb_2312-80"};
    if (std::find(gbk.begin(), gbk.end(), n) != gbk.end()) return Charset::Gbk;
    return Charset::Unknown;
}

// One tag of a document: where it lies, its name in capitals, and whether it closes.
struct Tag {
    std::size_t begin = 0, end = 0;  // '<' and one past '>'
    std::size_t nameEnd = 0;         // one past the name in the source
    std::string name;
    bool closing = false;
};

bool isRawText(std::string_view name) {
    return name == "SCRIPT" || name == "STYLE" || name == "TEXTAREA" || name == "TITLE" || name == "XMP";
}

// The end of a tag's source: the first '>' outside quoted attribute values.
std::size_t tagEnd(std::string_view doc, std::size_t from) {
    char quote = 0;
    for (std::size_t i = from; i < doc.size(); ++i) {
        char c = doc[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            // Only a quote that opens a value (after '=') quotes; a stray one is text.
            std::size_t k = i;
            while (k > from && isSpace(doc[k - 1])) --k;
            if (k > from && doc[k - 1] == '=') quote = c;
        } else if (c == '>') {
            return i + 1;
        }
    }
    return doc.size();
}

// Walks a document's tags in order, stepping over comments, declarations and the content of
// raw-text elements, so that a "<body" inside a script or a comment is not taken for a tag.
class Tags {
public:
    explicit Tags(std::string_view doc) : doc_(doc) {}

    std::optional<Tag> next() {
        while (pos_ < doc_.size()) {
            std::size_t lt = doc_.find('<', pos_);
            if (lt == std::string_view::npos || lt + 1 >= doc_.size()) break;
            char c = doc_[lt + 1];
            if (doc_.compare(lt, 4, "<!--") == 0) {
                std::size_t close = doc_.find("-->", lt + 4);
                pos_ = close == std::string_view::npos ? doc_.size() : close + 3;
                continue;
            }
            if (c == '!' || c == '?') {
                std::size_t close = doc_.find('>', lt);
                pos_ = close == std::string_view::npos ? doc_.size() : close + 1;
                continue;
            }
            bool closing = c == '/';
            std::size_t n = lt + (closing ? 2 : 1);
            if (n >= doc_.size() || !isAlpha(doc_[n])) {
                pos_ = lt + 1;
                continue;
            }
            Tag t;
            t.begin = lt;
            t.closing = closing;
            std::size_t e = n;
            while (e < doc_.size() && !isSpace(doc_[e]) && doc_[e] != '/' && doc_[e] != '>') ++e;
            for (std::size_t k = n; k < e; ++k) t.name += upper(doc_[k]);
            t.nameEnd = e;
            t.end = tagEnd(doc_, e);
            pos_ = t.end;
            if (!closing && isRawText(t.name)) {
                std::size_t close = findNoCase(doc_, "</" + t.name, pos_);
                pos_ = close == std::string_view::npos ? doc_.size() : close;
            }
            return t;
        }
        pos_ = doc_.size();
        return std::nullopt;
    }

private:
    std::string_view doc_;
    std::size_t pos_ = 0;
};

// The value of an attribute within a tag's source (after its name), as written.
std::optional<std::string> attribute(std::string_view tag, std::string_view name) {
    std::size_t i = 0;
    while (i < tag.size()) {
        while (i < tag.size() && (isSpace(tag[i]) || tag[i] == '/')) ++i;
        std::size_t nb = i;
        while (i < tag.size() && !isSpace(tag[i]) && tag[i] != '=' && tag[i] != '>' && tag[i] != '/') ++i;
        std::string_view key = tag.substr(nb, i - nb);
        if (key.empty()) {
            if (i < tag.size()) ++i;
            continue;
        }
        while (i < tag.size() && isSpace(tag[i])) ++i;
        std::string_view value;
        if (i < tag.size() && tag[i] == '=') {
            ++i;
            while (i < tag.size() && isSpace(tag[i])) ++i;
            if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
                char q = tag[i++];
                std::size_t close = tag.find(q, i);
                if (close == std::string_view::npos) close = tag.size();
                value = tag.substr(i, close - i);
                i = close + 1;
            } else {
                std::size_t vb = i;
                while (i < tag.size() && !isSpace(tag[i]) && tag[i] != '>') ++i;
                value = tag.substr(vb, i - vb);
            }
        }
        if (lowered(key) == name) return std::string(value);
    }
    return std::nullopt;
}

}  // namespace

Charset charsetFromContentType(std::string_view contentType) {
    std::string ct = lowered(contentType);
    std::size_t at = ct.find("charset");
    while (at != std::string::npos) {
        std::size_t i = at + 7;
        while (i < ct.size() && isSpace(ct[i])) ++i;
        if (i < ct.size() && ct[i] == '=') {
            std::size_t end = ct.find(';', i + 1);
            return charsetNamed(std::string_view(ct).substr(i + 1, end == std::string::npos ? end : end - i - 1));
        }
        at = ct.find("charset", at + 7);
    }
    return Charset::Unknown;
}

Charset charsetFromMeta(std::string_view bytes) {
    std::string_view head = bytes.substr(0, 1024);
    Tags tags(head);
    while (auto t = tags.next()) {
        if (t->closing || t->name != "META") continue;
        std::string_view src = head.substr(t->nameEnd, t->end - t->nameEnd);
        if (auto cs = attribute(src, "charset")) return charsetNamed(*cs);
        auto equiv = attribute(src, "http-equiv");
        auto content = attribute(src, "content");
        if (equiv && content && lowered(trim(*equiv)) == "content-type") return charsetFromContentType(*content);
    }
    return Charset::Unknown;
}

Charset detectCharset(std::string_view contentType, std::string_view bytes) {
    if (Charset c = charsetFromContentType(contentType); c != Charset::Unknown) return c;
    if (Charset c = charsetFromMeta(bytes); c != Charset::Unknown) return c;
    return cleanUtf8(bytes) == bytes || bytes.substr(0, 3) == "\xEF\xBB\xBF" ? Charset::Utf8 : Charset::Gbk;
}

bool isBinary(std::string_view contentType, std::string_view bytes) {
    std::string type(trim(lowered(contentType.substr(0, contentType.find(';')))));
    if (!type.empty() && type.rfind("text/", 0) != 0 && type != "application/xhtml+xml") return true;
    return bytes.find('\0') != std::string_view::npos;
}

std::string cleanUtf8(std::string_view s) {
    if (s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        std::size_t len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
        bool ok = len > 0 && i + len <= s.size();
        char32_t cp = len == 1 ? b : b & (0x7F >> len);
        for (std::size_t k = 1; ok && k < len; ++k) {
            auto cb = static_cast<unsigned char>(s[i + k]);
            ok = (cb & 0xC0) == 0x80;
            cp = cp << 6 | (cb & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are malformed too.
        static constexpr char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        ok = ok && cp >= least[len] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        if (ok) {
            out.append(s.substr(i, len));
            i += len;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

std::string bodyInnerHTML(std::string_view document) {
    std::size_t begin = 0, end = document.size();
    Tags tags(document);
    bool inBody = false;
    while (auto t = tags.next()) {
        if (t->name != "BODY") continue;
        if (!inBody && !t->closing) {
            begin = t->end;
            inBody = true;
        } else if (inBody && t->closing) {
            end = t->begin;
            break;
        }
    }
    std::string_view inner = document.substr(begin, end - begin);

    std::string out;
    out.reserve(inner.size());
    std::size_t copied = 0;
    Tags inside(inner);
    while (auto t = inside.next()) {
        out.append(inner.substr(copied, t->begin - copied));
        out += t->closing ? "</" : "<";
        out += t->name;
        out.append(inner.substr(t->nameEnd, t->end - t->nameEnd));
        copied = t->end;
    }
    out.append(inner.substr(copied));
    return out;
}

std::vector<std::string> frameSources(std::string_view document) {
    std::vector<std::string> out;
    Tags tags(document);
    while (auto t = tags.next()) {
        if (t->closing || (t->name != "FRAME" && t->name != "IFRAME")) continue;
        if (auto src = attribute(document.substr(t->nameEnd, t->end - t->nameEnd), "src"))
            out.emplace_back(trim(*src, " \t\r\n\f"));
    }
    return out;
}

}  // namespace platform::markup
