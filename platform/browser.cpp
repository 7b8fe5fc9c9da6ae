#include "platform/browser.h"

#include <vector>

#include "platform/markup.h"

namespace platform {

namespace {

// An address a frame names, made absolute against the page's; only web addresses count.
std::optional<std::string> resolve(const std::string& base, const std::string& ref) {
    auto scheme = [](const std::string& s) { return s.rfind("http://", 0) == 0 || s.rfind("https://", 0) == 0; };
    if (scheme(ref)) return ref;
    if (!scheme(base) || ref.find(':') < ref.find('/')) return std::nullopt;  // javascript:, file: ...
    std::size_t hostStart = base.find("//") + 2;
    std::size_t pathStart = base.find('/', hostStart);
    std::string origin = base.substr(0, pathStart);
    if (ref.rfind("//", 0) == 0) return base.substr(0, hostStart - 2) + ref;
    if (ref.rfind("/", 0) == 0) return origin + ref;
    std::string dir = pathStart == std::string::npos ? origin + "/" : base.substr(0, base.rfind('/') + 1);
    return dir + ref;
}

class PageBrowser final : public Browser {
public:
    PageBrowser(Fetcher& fetcher, GbkDecoder gbk, BrowserLimits limits)
        : fetcher_(fetcher), gbk_(std::move(gbk)), limits_(limits) {}
    ~PageBrowser() override { *alive_ = false; }

    void Navigate(const std::string& url) override {
        ++load_;
        busy_ = true;
        body_.reset();
        url_ = url;
        if (DownloadBegin) DownloadBegin();
        fetch(url, [this](FetchResult r) { page(std::move(r)); });
    }
    bool Busy() const override { return busy_; }
    std::optional<std::string> BodyInnerHTML() const override { return body_; }

private:
    // The answer reaches this browser only while it lives and the load is still the current one.
    void fetch(const std::string& url, std::function<void(FetchResult)> then) {
        std::shared_ptr<bool> alive = alive_;
        int load = load_;
        fetcher_.get({url, limits_.maxBytes, limits_.timeout}, [this, alive, load, then](FetchResult r) {
            if (*alive && load == load_) then(std::move(r));
        });
    }

    std::optional<std::string> document(const FetchResult& r) const {
        if (!r.ok() || markup::isBinary(r.contentType, r.body)) return std::nullopt;
        if (markup::detectCharset(r.contentType, r.body) == markup::Charset::Gbk && gbk_) return gbk_(r.body);
        return markup::cleanUtf8(r.body);
    }

    void page(FetchResult r) {
        std::vector<std::string> frames;
        if (auto doc = document(r)) {
            body_ = markup::bodyInnerHTML(*doc);
            for (const std::string& src : markup::frameSources(*doc))
                if (auto url = resolve(url_, src); url && frames.size() < limits_.maxFrames) frames.push_back(*url);
        }
        // The frames are never loaded: their content is never read, and their addresses may lead
        // anywhere. Each still completes, at once, and then the page, as the system's control
        // reports a page with frames; a handler that navigates elsewhere ends the round.
        std::shared_ptr<bool> alive = alive_;
        int load = load_;
        for (const std::string& frame : frames) {
            if (DocumentComplete) DocumentComplete(frame);
            if (!*alive || load != load_) return;
        }
        busy_ = false;
        if (DocumentComplete) DocumentComplete(url_);
    }

    Fetcher& fetcher_;
    GbkDecoder gbk_;
    BrowserLimits limits_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    int load_ = 0;
    bool busy_ = false;
    std::optional<std::string> body_;
    std::string url_;
};

}  // namespace

std::unique_ptr<Browser> makeBrowser(Fetcher& fetcher, GbkDecoder gbk, BrowserLimits limits) {
    return std::make_unique<PageBrowser>(fetcher, std::move(gbk), limits);
}

}  // namespace platform
