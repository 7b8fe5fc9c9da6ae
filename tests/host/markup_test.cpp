// Reading web pages: charset, body markup as the browser control wrote it, frames. Failed loads
// are tried through the Windows layer against a scripted server (tests/win/feed_win_test.cpp).
#include <gtest/gtest.h>

#include <deque>

#include "platform/browser.h"
#include "platform/markup.h"

namespace {

namespace markup = platform::markup;

TEST(Markup, BodyInnerMarkupWithElementNamesInCapitals) {
    struct Case {
        const char* document;
        const char* inner;
    } cases[] = {
        {"<html><head><title>t</title></head><body>AB|1.0.34<script>x()</script></body></html>",
         "AB|1.0.34<SCRIPT>x()</SCRIPT>"},
        {"<BODY class=\"a\">a<b>b</b><br/></BODY>", "a<B>b</B><BR/>"},
        {"AB|1.0.34", "AB|1.0.34"},  // no body element: the whole document
        {"<body><!-- <body>x</body> -->y<p title='a>b' data-x=\"</body>\">z</body>",
         "<!-- <body>x</body> -->y<P title='a>b' data-x=\"</body>\">z"},
        {"<body><script>if (a<b) document.write('</body><body>')</script>|1</body>",
         "<SCRIPT>if (a<b) document.write('</body><body>')</SCRIPT>|1"},
        {"<body>a < b <3 </ x</body>", "a < b <3 </ x"},
        {"<body>open <i", "open <I"},
        {"<head><title><body>x</title></head><body>y</body>", "y"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(markup::bodyInnerHTML(c.document), c.inner) << c.document;
}

TEST(Markup, CharsetFromTheHeaderThenTheMetaTagThenTheBytes) {
    using markup::Charset;
    struct Case {
        const char* contentType;
        const char* bytes;
        Charset want;
    } cases[] = {
        {"text/html; charset=GBK", "<meta charset=utf-8>", Charset::Gbk},
        {"text/html;charset=\"utf-8\"", "<meta charset=gb2312>", Charset::Utf8},
        {"text/html", "<meta charset=\"GB2312\">", Charset::Gbk},
        {"text/html", "<META HTTP-EQUIV=Content-Type CONTENT='text/html; charset=gbk'>", Charset::Gbk},
        {"text/html; charset=koi8-r", "\xc4\xe3\xba\xc3", Charset::Gbk},  // unknown: as the bytes read
        {"", "\xe4\xbd\xa0\xe5\xa5\xbd", Charset::Utf8},
        {"", "<!-- <meta charset=gbk> -->abc", Charset::Utf8},
    };
    for (const Case& c : cases) EXPECT_EQ(markup::detectCharset(c.contentType, c.bytes), c.want) << c.bytes;
}

TEST(Markup, BinaryBodiesAndMalformedText) {
    EXPECT_TRUE(markup::isBinary("image/png", "x"));
    EXPECT_TRUE(markup::isBinary("application/octet-stream", "AB|1.0.34"));
    EXPECT_TRUE(markup::isBinary("text/html", std::string("AB\0|1", 5)));
    EXPECT_FALSE(markup::isBinary("", "AB|1.0.34"));
    EXPECT_FALSE(markup::isBinary("Text/HTML; charset=utf-8", "AB"));
    // A byte-order mark goes; a stray byte, an overlong form, a surrogate and a cut sequence do not pass.
    auto bad = [](int n) {
        std::string r;
        while (n--) r += "\xEF\xBF\xBD";
        return r;
    };
    EXPECT_EQ(markup::cleanUtf8("\xEF\xBB\xBF"
                                "a\xff"
                                "b\xc0\xaf\xed\xa0\x80\xe4\xbd"),
              "a" + bad(1) + "b" + bad(7));
}

// Answers fetches in the order they were asked for, when the test says so.
struct Fetches final : platform::Fetcher {
    std::deque<std::pair<std::string, Done>> pending;
    void get(platform::FetchRequest r, Done done) override { pending.emplace_back(r.url, std::move(done)); }
    std::string answer(int status, std::string body) {
        auto [url, done] = std::move(pending.front());
        pending.pop_front();
        platform::FetchResult r;
        r.outcome = platform::FetchResult::Outcome::Complete;
        r.status = status, r.body = std::move(body), r.contentType = "text/html";
        done(std::move(r));
        return url;
    }
};

// The page is the one request: a frame is never asked for, wherever it points; each completes at
// once, and then the page, as the system's control reports a page with frames.
TEST(Browser, AFramesPageCompletesForEachFrameAndThenForItselfAndFetchesNone) {
    Fetches net;
    auto web = platform::makeBrowser(net, nullptr, {std::chrono::seconds(5), 1000, 2});
    std::vector<std::string> completed;
    web->DocumentComplete = [&](const std::string& url) { completed.push_back(url + (web->Busy() ? " busy" : "")); };
    web->Navigate("http://h/tolm/motto.html");
    net.answer(200,
               "<frameset><frame src=\"a.html\"><frame src=\"javascript:alert(1)\"><frame src=\"file:///c:/x\">"
               "<frame src=\"/b.html\"><frame src=\"//other/c\"></frameset>");
    EXPECT_TRUE(net.pending.empty()) << "a frame was asked for: " << net.pending.front().first;
    EXPECT_EQ(completed, (std::vector<std::string>{"http://h/tolm/a.html busy", "http://h/b.html busy",
                                                   "http://h/tolm/motto.html"}));
    EXPECT_EQ(web->BodyInnerHTML()->substr(0, 10), "<FRAMESET>");

    // A completion that navigates elsewhere ends the first page's round.
    completed.clear();
    web->DocumentComplete = [&](const std::string& url) {
        completed.push_back(url);
        if (url == "http://h/tolm/a.html") web->Navigate("http://h/next");
    };
    web->Navigate("http://h/tolm/motto.html");
    net.answer(200, "<iframe src=\"a.html\"></iframe><iframe src=\"b.html\"></iframe>");
    EXPECT_EQ(completed, std::vector<std::string>{"http://h/tolm/a.html"});
    EXPECT_TRUE(web->Busy());
    ASSERT_EQ(net.answer(200, "<body>next</body>"), "http://h/next");
    EXPECT_EQ(web->BodyInnerHTML(), "next");

    // A second navigation abandons what the first still waits for.
    web->Navigate("http://h/1");
    web->Navigate("http://h/2");
    net.answer(200, "<body>one</body>");
    EXPECT_TRUE(web->Busy());
    net.answer(200, "<body>two</body>");
    EXPECT_EQ(web->BodyInnerHTML(), "two");
}

}  // namespace
