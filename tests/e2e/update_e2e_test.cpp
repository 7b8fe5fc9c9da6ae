// The update through the real tolm.exe against a scripted publisher: only a whole, signed
// program of the announced, newer release is put in place and started, and every other answer
// ends in "下载错误" with nothing started and nothing left in the program folder.
#include <gtest/gtest.h>
// after gtest, which brings windows.h
#include <aclapi.h>
#include <sddl.h>

#include <set>
#include <string>
#include <vector>

#include "update_fixture.h"

namespace {

using e2e::answerMessage;
using e2e::countLines;
using e2e::kCurrent;
using e2e::kFailed;
using e2e::slurp;
using e2e::Update;
using e2e::waitGone;
using e2e::window;

TEST_F(Update, OnlyAWholeSignedUpdateIsPutInPlaceAndStarted) {
    std::string published = slurp(e2e::env(L"TOLM_UPDATE_SOURCE"));
    ASSERT_GT(published.size(), 1000u);
    serve(release, "good");
    start();

    // The prompt's "是": the update arrives unseen under the prompt, is put in place, started
    // once by its full path, and both windows go; the widget stays.
    takeThePromptedUpdate();
    waitStarts(1);
    std::string started = e2e::finalPath(exe);
    ASSERT_FALSE(started.empty());
    EXPECT_EQ(slurp(marker), started + "\n") << "started by the full path of the file it holds";
    EXPECT_EQ(slurp(exe), published);
    EXPECT_FALSE(e2e::fileExists(exe + L".part"));
    EXPECT_TRUE(waitGone(pid(), L"FormExit", 10000));
    EXPECT_TRUE(waitGone(pid(), L"正在下载更新", 10000));
    EXPECT_TRUE(running());

    // By hand, every other answer fails the same way: the message, no start, no file left (the
    // earlier update included), and the download window seen only after the message. A publisher
    // that never answers fails the same way after the fetch layer's time-out; that case runs in
    // the fetch layer's own test with a short time-out, not here at the program's half minute.
    // Over https, also a program and a signature that redirect to plain http, where both are good.
    std::vector<std::string> failures{"404", "500", "refused", "truncated", "wrongsig", "nosig", "othersig"};
    if (https()) failures.push_back("tohttp");
    for (const std::string& failure : failures) {
        SCOPED_TRACE(failure);
        serve(release, failure.c_str());
        int asked = requests("/software/tolmupdate.exe");
        checkByHand();
        if (failure == "timeout") {
            for (int i = 0; i < 300 && requests("/software/tolmupdate.exe") == asked; ++i) Sleep(100);
            EXPECT_FALSE(window(pid(), L"正在下载更新")) << "the download window showed during the transfer";
            EXPECT_FALSE(window(pid(), L"TOLM", true, L"#32770"));
        }
        std::wstring text = answerMessage(pid(), 180000, [&] {
            EXPECT_FALSE(window(pid(), L"正在下载更新")) << "the download window showed before the message";
        });
        EXPECT_EQ(text, kFailed);
        EXPECT_TRUE(waitGone(pid(), L"正在下载更新", 10000));
        EXPECT_FALSE(leftBehind());
        EXPECT_EQ(starts(), 1);
        EXPECT_TRUE(running());
        EXPECT_EQ(countLines(slurp(log), "plain "), 0) << "a redirect from https to http was followed";
    }

    // And by hand once more, a good one: put in place and started a second time.
    serve(release, "good");
    checkByHand();
    waitStarts(2);
    EXPECT_EQ(slurp(exe), published);
    EXPECT_TRUE(waitGone(pid(), L"正在下载更新", 10000));
    EXPECT_FALSE(window(pid(), L"TOLM", true, L"#32770")) << "a message after a good update";
    EXPECT_TRUE(running());
}

// What the publisher signed and served is taken only as the release the motto page announced,
// and only when that is newer than the widget; UpdateOlder runs against a publisher that serves
// a signed older release.
TEST_F(Update, ASignedReleaseOtherThanTheAnnouncedOneIsNotTaken) {
    serve("9.9.9", "good");
    start();
    takeThePromptedUpdate();
    expectRefused();
}

class UpdateOlder : public Update {};

TEST_F(UpdateOlder, AnOlderSignedReleaseIsNotTakenEvenWhenAnnounced) {
    serve(release, "good");
    start();
    takeThePromptedUpdate();
    expectRefused();
    EXPECT_EQ(requests("/software/tolmupdate.exe"), 2) << "the signature and the program came, and were refused";
}

TEST_F(Update, TheManualCheckWhenCurrentSaysSoAndFetchesNothing) {
    serve("1.00.034", "good");
    start();
    // Until the page has been read the version is unknown; ask again until it is known.
    std::wstring text;
    for (int i = 0; i < 20 && text != kCurrent; ++i) {
        checkByHand();
        text = answerMessage(pid());
    }
    EXPECT_EQ(text, kCurrent);
    EXPECT_EQ(requests("/software/"), 0);
    EXPECT_FALSE(window(pid(), L"FormExit", false));
    EXPECT_TRUE(running());
}

TEST_F(Update, TheManualCheckWithoutAPublishedVersionSaysItIsUnknown) {
    serve("404", "good");
    start();
    for (int i = 0; i < 300 && requests("/tolm/motto.html") == 0; ++i) Sleep(100);
    checkByHand();
    std::wstring text = answerMessage(pid());
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text, kCurrent);
    EXPECT_NE(text, kFailed);
    EXPECT_NE(text, L"(no message box)");
    EXPECT_EQ(requests("/software/"), 0);
    EXPECT_FALSE(window(pid(), L"正在下载更新", false));
    EXPECT_TRUE(running());
}

// The names in a folder that begin with `prefix`.
std::set<std::wstring> names(const std::wstring& folder, const std::wstring& prefix = L"") {
    std::set<std::wstring> found;
    WIN32_FIND_DATAW f;
    HANDLE h = FindFirstFileW((folder + L"\\" + prefix + L"*").c_str(), &f);
    if (h == INVALID_HANDLE_VALUE) return found;
    do
        if (wcscmp(f.cFileName, L".") && wcscmp(f.cFileName, L"..")) found.insert(f.cFileName);
    while (FindNextFileW(h, &f));
    FindClose(h);
    return found;
}

// The user's temporary folder by its long name, closing separator included.
std::wstring tempFolder() {
    wchar_t t[MAX_PATH], l[MAX_PATH];
    GetTempPathW(MAX_PATH, t);
    DWORD n = GetLongPathNameW(t, l, MAX_PATH);
    return std::wstring(l, n < MAX_PATH ? n : 0);
}

// Whether anyone but the system, the administrators and the folder's owner is granted anything.
bool othersMayEnter(const std::wstring& folder) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    PACL dacl = nullptr;
    PSID owner = nullptr;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION,
                              &owner, nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS)
        return true;
    bool others = !dacl;  // no list at all lets everybody in
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACE_HEADER* ace = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        PSID sid = &reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
        others = others || !(EqualSid(sid, owner) || IsWellKnownSid(sid, WinLocalSystemSid) ||
                             IsWellKnownSid(sid, WinBuiltinAdministratorsSid));
    }
    LocalFree(sd);
    return others;
}

// An installation in a folder that only the administrators may change: the update never touches
// it, and is kept, checked and started in a new folder of the user's own in the user's temporary
// folder (with administrator rights, which Wine grants without asking and does not show). Run in
// a session where folders' permissions hold (as-user.sh), with the stand-in's record of its
// starts outside the program folder.
class UpdateUnwritable : public Update {
protected:
    std::set<std::wstring> installed, ownBefore;
    std::wstring temp = tempFolder();

    // Wine turns these into the Unix modes 555 (read and run, for everybody) and 777.
    static bool mayWrite(const std::wstring& folder, bool write) {
        const wchar_t* sddl = write ? L"D:(A;OICI;FA;;;WD)" : L"D:P(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;WD)";
        PSECURITY_DESCRIPTOR sd = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr)) return false;
        bool set = SetFileSecurityW(folder.c_str(), DACL_SECURITY_INFORMATION, sd);
        LocalFree(sd);
        return set;
    }
    std::set<std::wstring> ownFolders() { return names(temp.substr(0, temp.size() - 1), L"tolm-update-"); }

    void SetUp() override {
        mayWrite(dir, true);  // left so by a run that was cut short
        Update::SetUp();
        marker = e2e::env(L"TOLM_E2E_DIR") + L"\\started-unwritable.txt";
        DeleteFileW(marker.c_str());
        SetEnvironmentVariableW(L"TOLM_UPDATE_MARKER", marker.c_str());
        ASSERT_FALSE(temp.empty());
        installed = names(dir);
        ownBefore = ownFolders();
        ASSERT_TRUE(mayWrite(dir, false));
        HANDLE f = CreateFileW((dir + L"\\x.tmp").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        DWORD err = GetLastError();
        if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
        ASSERT_EQ(f, INVALID_HANDLE_VALUE) << "the folder can still be written: root with every capability?";
        ASSERT_EQ(err, DWORD(ERROR_ACCESS_DENIED));
    }
    void TearDown() override {
        if (tolm) tolm->kill();
        mayWrite(dir, true);
        for (const std::wstring& made : ownFolders())
            if (!ownBefore.count(made)) e2e::removeTree(temp + made);
        DeleteFileW(marker.c_str());
        Update::TearDown();
    }
};

TEST_F(UpdateUnwritable, IsKeptCheckedAndStartedInAFolderOfTheUsersOwnAndNothingIsWrittenToTheProgramFolder) {
    std::string published = slurp(e2e::env(L"TOLM_UPDATE_SOURCE"));
    // Started by the full path of the verified program in a new folder, and told which
    // installation it updates.
    serve(release, "good");
    start();
    takeThePromptedUpdate();
    waitStarts(1);
    std::string started = slurp(marker);
    std::size_t told = started.find(" /D=");
    ASSERT_NE(told, std::string::npos) << started;
    EXPECT_EQ(started.substr(told), " /D=" + win32::narrow(dir) + "\n");
    started.erase(told);
    std::wstring path = win32::widen(started);
    std::wstring folder = path.substr(0, path.rfind(L'\\'));
    std::wstring own = temp + L"tolm-update-";
    EXPECT_EQ(_wcsnicmp(folder.c_str(), own.c_str(), own.size()), 0) << started;
    EXPECT_EQ(path.substr(folder.size()), L"\\tolmupdate.exe") << started;
    EXPECT_EQ(names(folder), std::set<std::wstring>{L"tolmupdate.exe"}) << "beside it: a partial file, or another";
    EXPECT_EQ(slurp(path), published);
    EXPECT_FALSE(othersMayEnter(folder)) << "other accounts may change the folder the update waits in";
    EXPECT_EQ(names(dir), installed) << "the update or a probe's file was left in the program folder";
    EXPECT_TRUE(waitGone(pid(), L"FormExit", 10000));
    EXPECT_FALSE(window(pid(), L"TOLM", true, L"#32770")) << "a message after a good update";
    EXPECT_TRUE(running());
}

}  // namespace
