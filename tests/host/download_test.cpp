#include <gtest/gtest.h>

#include <deque>

#include "build_config.h"
#include "fake_backend.h"
#include "tolm/countdown/services.h"
#include "tolm/update/download.h"
#include "tolm/update/form_exit.h"

namespace {

using platform::FetchResult;
using Outcome = platform::FetchResult::Outcome;
using tolm::DownLoad;
using tolm::UpdateVerdict;

FetchResult reply(int status, std::string body, Outcome outcome = Outcome::Complete) {
    FetchResult r;
    r.outcome = outcome, r.status = status, r.body = std::move(body);
    return r;
}
const std::string kSig(64, 's');
const std::string kProgram = "MZ the update";

TEST(UpdateVerdict, OnlyAWholeTransferWithStatus200AndTheRightSignatureCounts) {
    struct Case {
        const char* what;
        FetchResult sig, program;
        bool signatureHolds;
        UpdateVerdict want;
    } cases[] = {
        {"good", reply(200, kSig), reply(200, kProgram), true, UpdateVerdict::Verified},
        {"program 404 page", reply(200, kSig), reply(404, "<h1>Not Found</h1>"), true, UpdateVerdict::NotTransferred},
        {"program 500", reply(200, kSig), reply(500, ""), true, UpdateVerdict::NotTransferred},
        {"program cut short", reply(200, kSig), reply(200, "MZ", Outcome::Failed), true, UpdateVerdict::NotTransferred},
        {"program timed out", reply(200, kSig), reply(0, "", Outcome::TimedOut), true, UpdateVerdict::NotTransferred},
        {"program too large", reply(200, kSig), reply(200, "", Outcome::TooLarge), true, UpdateVerdict::NotTransferred},
        {"signature 404", reply(404, kSig), reply(200, kProgram), true, UpdateVerdict::NoSignature},
        {"signature refused", reply(0, "", Outcome::Failed), reply(200, kProgram), true, UpdateVerdict::NoSignature},
        {"signature not ours", reply(200, kSig), reply(200, kProgram), false, UpdateVerdict::WrongSignature},
        {"signature one byte short", reply(200, kSig.substr(1)), reply(200, kProgram), true,
         UpdateVerdict::WrongSignature},
        {"signature one byte long", reply(200, kSig + "s"), reply(200, kProgram), true, UpdateVerdict::WrongSignature},
        {"signature empty", reply(200, ""), reply(200, kProgram), true, UpdateVerdict::WrongSignature},
    };
    for (const Case& c : cases) {
        std::string checked;
        auto verify = [&](std::string_view data, std::string_view) {
            checked = data;
            return c.signatureHolds;
        };
        EXPECT_EQ(tolm::judgeUpdate(c.sig, c.program, verify), c.want) << c.what;
        // The signature is checked against exactly the bytes that arrived, when it is checked.
        if (!checked.empty()) {
            EXPECT_EQ(checked, c.program.body) << c.what;
        }
    }
    EXPECT_EQ(tolm::judgeUpdate(reply(200, kSig), reply(200, kProgram), nullptr), UpdateVerdict::WrongSignature);
}

class Fetcher final : public platform::Fetcher {
public:
    std::deque<std::pair<platform::FetchRequest, Done>> pending;
    std::vector<std::string> urls;
    void get(platform::FetchRequest request, Done done) override {
        urls.push_back(request.url);
        pending.emplace_back(std::move(request), std::move(done));
    }
    void answer(FetchResult r) {
        ASSERT_FALSE(pending.empty());
        auto [request, done] = std::move(pending.front());
        pending.pop_front();
        done(std::move(r));
    }
};

class Files final : public platform::Files {
public:
    std::map<std::string, std::string> on;
    bool failWrite = false, failReplace = false;
    bool write(const std::string& path, std::string_view bytes) override {
        if (failWrite) return false;
        on[path] = bytes;
        return true;
    }
    bool replace(const std::string& from, const std::string& to) override {
        if (failReplace || !on.count(from)) return false;
        on[to] = on[from];
        on.erase(from);
        return true;
    }
    bool remove(const std::string& path) override { return on.erase(path), true; }
};

struct Download : ::testing::Test {
    fake::Backend backend;
    forms::App app{backend, "TOLM"};
    Fetcher fetcher;
    Files files;
    std::vector<std::string> launched;
    const std::string exe = "C:\\Program Files\\TOLM\\tolmupdate.exe";

    void SetUp() override {
        tolm::services().fetcher = &fetcher;
        tolm::services().files = &files;
        tolm::services().verifyUpdate = [](std::string_view data, std::string_view sig) {
            return data == kProgram && sig == kSig;
        };
        tolm::services().launch = [this](const std::string& path) { launched.push_back(path); };
        files.on[exe] = "a stale update that must never run";
    }
    void TearDown() override { tolm::services() = {}; }

    // The automatic way in loads the window unseen under the prompt; the manual one shows it.
    DownLoad& begin(bool manual) {
        if (manual) {
            app.form<DownLoad>().show();
        } else {
            app.form<tolm::FormExit>().show();
            app.form<DownLoad>();
        }
        return app.form<DownLoad>();
    }
    void tick() {
        if (!app.isLoaded<DownLoad>()) return;
        app.enter();
        app.form<DownLoad>().TimerExit_Timer();
        app.leave();
    }
    bool visible() { return backend.windows[&app.form<DownLoad>()].visible; }
};

TEST_F(Download, ShowsOnlyAfterTheTransferAndStartsOnlyAVerifiedUpdate) {
    struct Case {
        const char* what;
        bool manual;
        std::vector<FetchResult> answers;  // the signature, then the program
        bool starts;
    } cases[] = {
        {"manual, good", true, {reply(200, kSig), reply(200, kProgram)}, true},
        {"automatic, good", false, {reply(200, kSig), reply(200, kProgram)}, true},
        {"manual, 404", true, {reply(200, kSig), reply(404, "Not Found")}, false},
        {"automatic, 500", false, {reply(200, kSig), reply(500, "")}, false},
        {"automatic, refused", false, {reply(0, "", Outcome::Failed)}, false},
        {"automatic, no signature", false, {reply(404, "")}, false},
        {"manual, cut short", true, {reply(200, kSig), reply(200, "MZ", Outcome::Failed)}, false},
        {"automatic, signature of another file", false, {reply(200, kSig), reply(200, "MZ other")}, false},
        {"automatic, wrong signature", false, {reply(200, std::string(64, 'x')), reply(200, kProgram)}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        launched.clear();
        fetcher.urls.clear();
        DownLoad& d = begin(c.manual);
        // Ticks during the transfer change nothing, and nothing is seen of the window yet.
        tick();
        tick();
        ASSERT_TRUE(app.isLoaded<DownLoad>());
        EXPECT_FALSE(visible());
        for (std::size_t i = 0; i < c.answers.size(); ++i) {
            EXPECT_FALSE(d.transferEnded());
            fetcher.answer(c.answers[i]);
        }
        EXPECT_TRUE(fetcher.pending.empty());
        std::vector<std::string> urls{std::string(TOLM_PUBLISHER) + "/software/tolmupdate.exe.sig",
                                      std::string(TOLM_PUBLISHER) + "/software/tolmupdate.exe"};
        urls.resize(c.answers.size());
        EXPECT_EQ(fetcher.urls, urls);
        ASSERT_TRUE(d.transferEnded());
        EXPECT_EQ(visible(), c.manual);
        EXPECT_EQ(backend.messages, c.starts ? std::vector<std::string>{}
                                             : std::vector<std::string>{"TOLM: 下载错误"});
        std::map<std::string, std::string> want;
        if (c.starts) want[exe] = kProgram;
        EXPECT_EQ(files.on, want) << "only the verified program, under its own name";
        EXPECT_TRUE(app.isLoaded<tolm::FormExit>() == !c.manual);

        tick();
        EXPECT_FALSE(app.isLoaded<DownLoad>());
        EXPECT_FALSE(app.isLoaded<tolm::FormExit>());
        EXPECT_EQ(launched, c.starts ? std::vector<std::string>{exe} : std::vector<std::string>{});
        backend.messages.clear();
    }
}

TEST_F(Download, AFileThatCannotBePutInPlaceIsAFailedTransfer) {
    for (bool failWrite : {true, false}) {
        SetUp();
        files.failWrite = failWrite;
        files.failReplace = !failWrite;
        begin(false);
        fetcher.answer(reply(200, kSig));
        fetcher.answer(reply(200, kProgram));
        EXPECT_EQ(backend.messages, std::vector<std::string>{"TOLM: 下载错误"});
        EXPECT_TRUE(files.on.empty()) << "neither a partial file nor the stale one is left";
        tick();
        EXPECT_TRUE(launched.empty());
        backend.messages.clear();
    }
}

TEST_F(Download, WithoutAFetcherTheTransferFailsAtOnce) {
    tolm::services().fetcher = nullptr;
    begin(true);
    EXPECT_EQ(backend.messages, std::vector<std::string>{"TOLM: 下载错误"});
    EXPECT_TRUE(visible());
    tick();
    EXPECT_FALSE(app.isLoaded<DownLoad>());
    EXPECT_TRUE(launched.empty());
}

TEST_F(Download, AnAnswerAfterTheWindowWentIsDropped) {
    begin(false);
    fetcher.answer(reply(200, kSig));
    app.unload<DownLoad>();
    fetcher.answer(reply(200, kProgram));
    EXPECT_TRUE(backend.messages.empty());
    EXPECT_EQ(files.on.count(exe + ".part"), 0u);
    EXPECT_TRUE(launched.empty());
}

}  // namespace
