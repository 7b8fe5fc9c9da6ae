// The release configuration against the scripted publisher over https: only a publisher whose
// certificate the machine verifies for its name is heard, and never one that sends the widget
// on to plain http; the about window's contact link opens the messenger's https address. The
// feed and update tests run against the same publisher with the trusted certificate.
#include <gtest/gtest.h>

#include <string>

#include "update_fixture.h"

namespace {

using e2e::countLines;
using e2e::slurp;

class Https : public e2e::Update {
protected:
    void SetUp() override {
        Update::SetUp();
        ASSERT_TRUE(https()) << "run through tests/web/with-publisher.sh --tls";
        DeleteFileW(log.c_str());
    }
    // A widget ended by force leaves its icon up for a while, to be taken for the next one's.
    void TearDown() override {
        if (tolm && !tolm->waitExit(0)) end();
        Update::TearDown();
    }
    int logged(const std::string& prefix) { return countLines(slurp(log), prefix); }
    // The widget shows its icon only once it has dealt with the motto page, taken or not.
    void startAndWaitForThePage() {
        ASSERT_TRUE(e2e::waitUntil([] { return !e2e::trayIconShown(); }, 15000)) << "an earlier widget's icon is up";
        start();
        ASSERT_TRUE(e2e::waitUntil(e2e::trayIconShown, 60000)) << "the motto page was never dealt with";
    }
    // Esc reaches the widget's hidden keyboard button; its icon goes with it.
    void end() {
        PostMessageW(widget, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_TRUE(tolm->waitExit(15000));
        EXPECT_TRUE(e2e::waitUntil([] { return !e2e::trayIconShown(); }, 5000)) << "icon left behind";
    }
};

TEST_F(Https, OnlyAPublisherTheMachineVerifiesIsHeard) {
    // The design motto, from a page that says it over the trusted certificate.
    serve("design", "good");
    startAndWaitForThePage();
    ASSERT_EQ(logged("GET /tolm/motto.html"), 1);
    e2e::Pixels design = e2e::mottoPanel(widget);
    end();

    // Every page here announces a newer release with a motto of its own: taken, it would show
    // and prompt. A certificate that does not verify ends the connection before any request; a
    // page that redirects to plain http, where that page is served, is asked for once.
    struct Case {
        const char* certificate;
        std::string motto;
        const char* reached;  // what the publisher's log shows of the widget
    };
    for (const Case& c :
         {Case{"selfsigned", release, "unasked selfsigned"}, Case{"otherhost", release, "unasked otherhost"},
          Case{"expired", release, "unasked expired"}, Case{"untrusted", release, "unasked untrusted"},
          Case{"trusted", "tohttp", "GET /tolm/motto.html"}}) {
        SCOPED_TRACE(std::string(c.certificate) + " " + c.motto);
        DeleteFileW(log.c_str());
        certificate = c.certificate;
        serve(c.motto, "good");
        startAndWaitForThePage();
        EXPECT_GE(logged(c.reached), 1) << "the widget never reached the publisher";
        EXPECT_EQ(logged("GET /tolm/motto.html"), c.motto == "tohttp" ? 1 : 0);
        EXPECT_LE(e2e::maxDifference(e2e::mottoPanel(widget), design), 3) << "a motto from an unverified page";
        EXPECT_FALSE(e2e::window(pid(), L"FormExit", false)) << "a prompt from an unverified page";
        // Nothing was read, so the manual check knows no version, and fetches nothing.
        checkByHand();
        std::wstring text = e2e::answerMessage(pid());
        EXPECT_FALSE(text.empty());
        EXPECT_NE(text, L"(no message box)");
        EXPECT_NE(text, e2e::kCurrent);
        EXPECT_NE(text, e2e::kFailed);
        EXPECT_EQ(logged("GET /software/"), 0);
        EXPECT_EQ(logged("plain "), 0) << "a redirect from https to http was followed";
        EXPECT_TRUE(running());
        end();
    }
}

TEST_F(Https, TheContactLinkOpensTheMessengersHttpsAddress) {
    std::wstring messenger = e2e::env(L"TOLM_MESSENGER");
    ASSERT_EQ(messenger.rfind(L"https://", 0), 0u) << "a release's messenger is an https address";
    // The stand-in update program records what it is given to open: here, in this prefix only,
    // it is the system's handler of https addresses.
    const wchar_t* command = L"https\\shell\\open\\command";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, command, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    wchar_t before[1024] = {};
    DWORD size = sizeof before;
    bool had = RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(before), &size) == 0;
    std::wstring stub = e2e::env(L"TOLM_UPDATE_SOURCE");
    std::wstring handler = L"\"" + stub + L"\" %1";
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(handler.c_str()),
                   static_cast<DWORD>((handler.size() + 1) * sizeof(wchar_t)));

    serve("design", "good");
    start();
    if (HWND about = openAbout()) e2e::click(about, 136, 112);
    waitStarts(1);
    std::wstring opened = stub + L" " + messenger + L"/msgrd?V=1&Uin=100860017\n";
    EXPECT_EQ(slurp(marker), std::string(opened.begin(), opened.end())) << "(ASCII here)";
    EXPECT_TRUE(running());

    if (had)
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(before), size);
    else
        RegDeleteValueW(key, nullptr);
    RegCloseKey(key);
}

}  // namespace
