#pragma once
// What the widget reads of a web page: its charset, whether it is text at all, the frames it
// names, and the inner markup of its body as the system's browser control serialised it
// (element names in capitals, text and attribute values as written).
#include <string>
#include <string_view>
#include <vector>

namespace platform::markup {

enum class Charset { Unknown, Utf8, Gbk };

// The charset parameter of a Content-Type header.
Charset charsetFromContentType(std::string_view contentType);
// The charset a page declares in a meta tag within its first 1024 bytes.
Charset charsetFromMeta(std::string_view bytes);
// The header first, then the page's meta tag; a page that declares neither is read as UTF-8
// when it is valid UTF-8, and as GBK (the code page of the systems the widget is made for)
// otherwise.
Charset detectCharset(std::string_view contentType, std::string_view bytes);

// A body that is not text: a declared type other than text/* (or XHTML), or NUL bytes in it.
bool isBinary(std::string_view contentType, std::string_view bytes);

// Valid UTF-8 with every malformed sequence replaced by U+FFFD; a leading byte-order mark goes.
std::string cleanUtf8(std::string_view bytes);

// The inner markup of the document's body: the text between the body's start and end tags,
// or the whole document when it has no body element. Tag names are upper-cased; the content
// of SCRIPT, STYLE, TEXTAREA, TITLE and XMP elements, comments, text and attribute values are
// passed through.
std::string bodyInnerHTML(std::string_view document);

// The src attributes of the FRAME and IFRAME elements of a document, in document order.
std::vector<std::string> frameSources(std::string_view document);

}  // namespace platform::markup
