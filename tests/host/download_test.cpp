#include <gtest/gtest.h>

#include <deque>
#include <set>

#include "build_config.h"
#include "fake_backend.h"
#include "pe_image.h"
#include "tolm/countdown/services.h"
#include "tolm/update/download.h"
#include "tolm/update/form_exit.h"
#include "tolm/update/version.h"

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
// The announced release 1.0.35, and two more the publisher signed: the release before the
// running 1.0.34, and one after the announced one.
const std::string kSig(64, 's'), kProgram = pe::image(1, 0, 0, 35), kOlder = pe::image(1, 0, 0, 33),
                  kLater = pe::image(1, 0, 0, 36);
bool demoKey(std::string_view data, std::string_view sig) {
    return sig == kSig && (data == kProgram || data == kOlder || data == kLater);
}
const FetchResult kGoodSig = reply(200, kSig), kGood = reply(200, kProgram);

TEST(UpdateVerdict, OnlyAWholeTransferWithStatus200AndTheRightSignatureCounts) {
    struct Case {
        const char* what;
        FetchResult sig, program;
        UpdateVerdict want;
    } cases[] = {
        {"good", kGoodSig, kGood, UpdateVerdict::Verified},
        {"a 404 page", kGoodSig, reply(404, "<h1>Not Found</h1>"), UpdateVerdict::NotTransferred},
        {"500", kGoodSig, reply(500, ""), UpdateVerdict::NotTransferred},
        {"cut short", kGoodSig, reply(200, "MZ", Outcome::Failed), UpdateVerdict::NotTransferred},
        {"timed out", kGoodSig, reply(0, "", Outcome::TimedOut), UpdateVerdict::NotTransferred},
        {"too large", kGoodSig, reply(200, "", Outcome::TooLarge), UpdateVerdict::NotTransferred},
        {"signature 404", reply(404, kSig), kGood, UpdateVerdict::NoSignature},
        {"signature refused", reply(0, "", Outcome::Failed), kGood, UpdateVerdict::NoSignature},
        {"signature of another file", kGoodSig, reply(200, "MZ other"), UpdateVerdict::WrongSignature},
        {"signature one byte short", reply(200, kSig.substr(1)), kGood, UpdateVerdict::WrongSignature},
        {"signature one byte long", reply(200, kSig + "s"), kGood, UpdateVerdict::WrongSignature},
    };
    // The stand-in key holds exactly for kSig over exactly kProgram.
    auto verify = [](std::string_view data, std::string_view sig) { return data == kProgram && sig == kSig; };
    for (const Case& c : cases) EXPECT_EQ(tolm::judgeUpdate(c.sig, c.program, verify), c.want) << c.what;
    EXPECT_EQ(tolm::judgeUpdate(kGoodSig, kGood, nullptr), UpdateVerdict::WrongSignature) << "no key, no trust";
}

TEST(UpdateVerdict, OnlyTheAnnouncedReleaseNewerThanTheOwnIsTaken) {
    const forms::Version own{1, 0, 34};
    struct Case {
        std::string program, announced;
        UpdateVerdict want;
    } cases[] = {
        {pe::image(1, 0, 0, 35), "1.0.35", UpdateVerdict::Verified},
        {pe::image(1, 0, 0, 35), " 1.00.035", UpdateVerdict::Verified},
        {pe::image(1, 1, 0, 0), "1.1.0", UpdateVerdict::Verified},
        {pe::image(2, 0, 0, 0), "2.0.0", UpdateVerdict::Verified},
        {pe::image(1, 0, 0, 35), "1.0.36", UpdateVerdict::NotAnnounced},
        {pe::image(1, 0, 0, 36), "1.0.35", UpdateVerdict::NotAnnounced},
        {pe::image(1, 0, 0, 35), "1.0.35.1", UpdateVerdict::NotAnnounced},
        {pe::image(1, 0, 0, 35), "", UpdateVerdict::NotAnnounced},
        {pe::image(1, 0, 1, 35), "1.0.35", UpdateVerdict::NotAnnounced},  // 1.0.1.35 is no release
        {"MZ without resources", "1.0.35", UpdateVerdict::NotAnnounced},
        {pe::image(1, 0, 0, 33), "1.0.33", UpdateVerdict::NotNewer},
        {pe::image(1, 0, 0, 34), "1.0.34", UpdateVerdict::NotNewer},
        {pe::image(0, 9, 0, 99), "0.9.99", UpdateVerdict::NotNewer},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tolm::judgeRelease(c.program, c.announced, own), c.want) << c.announced;
}

struct Fetcher final : platform::Fetcher {
    std::deque<std::pair<std::string, Done>> pending;
    std::vector<platform::FetchRequest> asked;
    void get(platform::FetchRequest request, Done done) override {
        pending.emplace_back(request.url, done);
        asked.push_back(std::move(request));
    }
    std::string answer(FetchResult r) {  // the address answered
        auto [url, done] = std::move(pending.front());
        pending.pop_front();
        done(std::move(r));
        return url;
    }
};

struct Files final : platform::Files {
    std::map<std::string, std::string> on;
    std::map<std::string, std::string> resolved;  // where a link in the folder leads
    std::map<std::string, WriteProbe> probes;     // what creating a file in a folder meets
    std::string held;
    bool failWrite = false, failReplace = false;
    bool swapped = false;  // another process puts its own file in place right after the move
    int holds = 0;
    // Only in a folder whose probe finds it writable can anything be written, moved or removed.
    bool writable(const std::string& path) {
        auto folder = probes.find(path.substr(0, path.find_last_of('\\')));
        return folder == probes.end() || folder->second == WriteProbe::Writable;
    }
    bool write(const std::string& path, std::string_view bytes) override {
        return !failWrite && writable(path) && (on[path] = bytes, true);
    }
    bool replace(const std::string& from, const std::string& to) override {
        if (failReplace || !on.count(from) || !writable(to)) return false;
        on[to] = swapped ? "MZ swapped in" : on[from];
        return on.erase(from);
    }
    bool remove(const std::string& path) override { return writable(path) ? (on.erase(path), true) : !on.count(path); }
    Hold holdUnchanged(const std::string& path, std::string_view bytes) override {
        if (!on.count(path) || on[path] != bytes) return nullptr;
        ++holds;
        held = path;
        return Hold(this, [](void* self) { --static_cast<Files*>(self)->holds; });
    }
    std::string heldPath(const Hold& hold) override {
        if (!hold) return {};
        return resolved.count(held) ? resolved[held] : held;
    }
    WriteProbe probeWrite(const std::string& folder) override {
        return probes.count(folder) ? probes[folder] : WriteProbe::Writable;
    }
    // The user's own folders: the one the next call makes (none when empty), those still there.
    std::string nextPrivate = "C:\\Users\\s\\AppData\\Local\\Temp\\tolm-update-1";
    std::set<std::string> folders;
    std::string newPrivateFolder() override {
        if (!nextPrivate.empty()) folders.insert(nextPrivate);
        return nextPrivate;
    }
    bool removeFolder(const std::string& path) override {
        for (auto& [file, bytes] : on)
            if (file.rfind(path + "\\", 0) == 0) return false;
        return folders.erase(path), true;
    }
};

struct Download : ::testing::Test {
    fake::Backend backend;
    forms::App app{backend, "TOLM"};
    Fetcher fetcher;
    Files files;
    std::vector<std::string> launched;
    std::vector<std::string> verbs;
    const std::string exe = "C:\\Program Files\\TOLM\\tolmupdate.exe", url = TOLM_PUBLISHER "/software/tolmupdate.exe";

    void SetUp() override {
        tolm::services().fetcher = &fetcher;
        tolm::services().files = &files;
        tolm::services().verifyUpdate = demoKey;
        tolm::services().launch = [this](const std::string& path, const char* verb, const std::string& parameters) {
            launched.push_back(parameters.empty() ? path : path + " " + parameters);
            verbs.push_back(verb);
            EXPECT_EQ(files.holds, 1) << "started while held unchanged";
        };
        files = Files();
        files.on = {{exe, "a stale update that must never run"}};
        tolm::LatestVersion = "1.0.35";
        launched.clear();
        verbs.clear();
        backend.messages.clear();
    }
    void TearDown() override {
        tolm::services() = {};
        tolm::LatestVersion.clear();
    }

    // The automatic way in loads the window unseen under the prompt; the manual one shows it.
    DownLoad& begin(bool manual) {
        if (!manual) app.form<tolm::FormExit>().show();
        DownLoad& d = app.form<DownLoad>();
        if (manual) d.show();
        return d;
    }
    void tick() {
        app.enter();
        if (app.isLoaded<DownLoad>()) app.form<DownLoad>().TimerExit_Timer();
        app.leave();
    }
    bool shown() { return backend.windows[&app.form<DownLoad>()].visible; }
};

TEST_F(Download, ShowsOnlyAfterTheTransferAndStartsOnlyAVerifiedUpdate) {
    struct Case {
        bool manual;
        std::vector<FetchResult> answers;  // the signature first, then the program
        bool starts;
    } cases[] = {
        {true, {kGoodSig, kGood}, true},
        {false, {kGoodSig, kGood}, true},
        {true, {kGoodSig, reply(404, "Not Found")}, false},
        {false, {kGoodSig, reply(200, "MZ", Outcome::Failed)}, false},
        {false, {reply(404, "")}, false},  // without a signature the program is not fetched
        {true, {kGoodSig, reply(200, "MZ other")}, false},
        // Signed by the publisher, but an older release, or another than the one announced.
        {false, {kGoodSig, reply(200, kOlder)}, false},
        {true, {kGoodSig, reply(200, kLater)}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        SetUp();
        DownLoad& d = begin(c.manual);
        tick();  // ticks during the transfer change nothing
        ASSERT_TRUE(app.isLoaded<DownLoad>());
        EXPECT_FALSE(shown());
        EXPECT_EQ(fetcher.answer(c.answers[0]), url + ".sig");
        if (c.answers.size() > 1) {
            EXPECT_EQ(fetcher.answer(c.answers[1]), url);
        }
        EXPECT_TRUE(fetcher.pending.empty());
        ASSERT_TRUE(d.transferEnded());
        EXPECT_EQ(shown(), c.manual);
        EXPECT_EQ(backend.messages, std::vector<std::string>(!c.starts, "TOLM: 下载错误"));
        using Folder = std::map<std::string, std::string>;
        Folder want = c.starts ? Folder{{exe, kProgram}} : Folder{};
        EXPECT_EQ(files.on, want) << "only a verified program, whole";
        EXPECT_EQ(app.isLoaded<tolm::FormExit>(), !c.manual);

        tick();
        EXPECT_FALSE(app.isLoaded<DownLoad>());
        EXPECT_FALSE(app.isLoaded<tolm::FormExit>());
        EXPECT_EQ(launched, std::vector<std::string>(c.starts, exe)) << "once, by its full path";
        EXPECT_EQ(files.holds, 0) << "let go once started";
    }
}

TEST_F(Download, AnOlderReleaseIsNotTakenEvenWhenAnnounced) {
    tolm::LatestVersion = "1.0.33";
    begin(false);
    fetcher.answer(kGoodSig);
    fetcher.answer(reply(200, kOlder));
    EXPECT_EQ(backend.messages, std::vector<std::string>{"TOLM: 下载错误"});
    EXPECT_TRUE(files.on.empty());
    tick();
    EXPECT_TRUE(launched.empty());
}

// Where the update goes and how it starts, by what creating a file in the program folder met. A
// folder the user cannot write keeps nothing: the update waits in a folder of the user's own.
TEST_F(Download, TheUpdateGoesWhereTheUserCanWriteAndAsksForRightsOnlyWhereAccessIsRefused) {
    using Probe = platform::Files::WriteProbe;
    using Folder = std::map<std::string, std::string>;
    const std::string stale = "a stale update that must never run", own = files.nextPrivate,
                      ownExe = own + "\\tolmupdate.exe", good = "the verified program";
    struct Case {
        const char* what;
        Probe probe;
        bool privateFolder, failWrite;
        const char* started;  // nullptr: nothing, after "下载错误"
        const char* verb;
        Folder left;
        bool ownFolderLeft;
    } cases[] = {
        {"writable", Probe::Writable, true, false, "program", "open", {{exe, good}}, false},
        {"administrators only", Probe::AccessDenied, true, false, "own", "runas", {{exe, stale}, {ownExe, good}}, true},
        // A sharing violation, an antivirus lock or a folder gone: no right is missing.
        {"other failure", Probe::OtherFailure, true, false, "own", "open", {{exe, stale}, {ownExe, good}}, true},
        {"no folder of the user's own", Probe::AccessDenied, false, false, nullptr, "", {{exe, stale}}, false},
        {"its own folder cannot be written", Probe::AccessDenied, true, true, nullptr, "", {{exe, stale}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        files.probes[backend.folder] = c.probe;
        if (!c.privateFolder) files.nextPrivate.clear();
        files.failWrite = c.failWrite;
        begin(false);
        fetcher.answer(kGoodSig);
        fetcher.answer(kGood);
        EXPECT_EQ(backend.messages, std::vector<std::string>(!c.started, "TOLM: 下载错误"));
        tick();
        // Not beside the installation, the setup is told which one it updates.
        std::string path = !c.started ? "" : std::string(c.started) == "own" ? ownExe + " /D=" + backend.folder : exe;
        EXPECT_EQ(launched, std::vector<std::string>(c.started != nullptr, path));
        EXPECT_EQ(verbs, std::vector<std::string>(c.started != nullptr, c.verb));
        Folder left;
        for (const auto& [file, bytes] : files.on) left[file] = bytes == kProgram ? good : bytes;
        EXPECT_EQ(left, c.left);
        EXPECT_EQ(files.folders.count(own), c.ownFolderLeft ? 1u : 0u) << "an own folder left with nothing to start";
    }
}

TEST_F(Download, WhatStartsIsTheHeldFileWhereverItsNameLeads) {
    files.resolved[exe] = "D:\\elsewhere\\tolmupdate.exe";  // the folder is a link
    begin(false);
    fetcher.answer(kGoodSig);
    fetcher.answer(kGood);
    tick();
    EXPECT_EQ(launched, std::vector<std::string>{"D:\\elsewhere\\tolmupdate.exe"});

    // A held file whose path the system cannot tell is not started by its name instead.
    SetUp();
    files.resolved[exe] = "";
    begin(false);
    fetcher.answer(kGoodSig);
    fetcher.answer(kGood);
    EXPECT_EQ(backend.messages, std::vector<std::string>{"TOLM: 下载错误"});
    EXPECT_TRUE(files.on.empty());
    tick();
    EXPECT_TRUE(launched.empty());
}

// On a slow line the update takes minutes: what ends it early is silence, not its length.
TEST_F(Download, ASlowLineMayTakeMinutesOverTheUpdateButNotFallSilent) {
    begin(false);
    fetcher.answer(kGoodSig);
    ASSERT_EQ(fetcher.asked.size(), 2u);
    for (const platform::FetchRequest& r : fetcher.asked) {
        EXPECT_EQ(r.silence, std::chrono::seconds(30)) << r.url;
        EXPECT_GE(r.timeout, std::chrono::minutes(30)) << r.url;
    }
    EXPECT_EQ(fetcher.asked[1].maxBytes, tolm::kMaxUpdateBytes);
}

TEST_F(Download, AProgramThatCannotBePutInPlaceIsAFailedTransfer) {
    for (int way = 0; way < 3; ++way) {
        SetUp();
        files.failWrite = way == 0, files.failReplace = way == 1, files.swapped = way == 2;
        begin(false);
        fetcher.answer(kGoodSig);
        fetcher.answer(kGood);
        EXPECT_EQ(backend.messages, std::vector<std::string>{"TOLM: 下载错误"});
        EXPECT_TRUE(files.on.empty()) << "neither a partial file, the stale one nor a swapped one is left";
        tick();
        EXPECT_TRUE(launched.empty());
    }
}

TEST_F(Download, AnAnswerAfterTheWindowWentIsDropped) {
    begin(false);
    fetcher.answer(kGoodSig);
    app.unload<DownLoad>();
    fetcher.answer(kGood);
    EXPECT_TRUE(backend.messages.empty());
    EXPECT_TRUE(launched.empty());
}

}  // namespace
