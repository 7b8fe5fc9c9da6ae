// The system side of the update: whole files moved into place, a running update's file left
// alone, the start of the held file by the path it has, the test whether the folder needs
// administrator rights, and the versions the built stand-ins carry.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>

#include "build_config.h"
#include "platform/files.h"
#include "tolm/update/file_version.h"

namespace {

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::string buildDir() {
    char build[1024];
    DWORD n = GetEnvironmentVariableA("TOLM_BUILD_DIR", build, sizeof build);
    return std::string(build, n < sizeof build ? n : 0);
}

TEST(UpdateFiles, MovedIntoPlaceWholeAndTheHeldFileStartedByItsOwnPath) {
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    // A long name, so that the folder has a short one that differs.
    std::string dir = tmp + std::string("tolm-update-folder-") + std::to_string(GetCurrentProcessId());
    std::string exe = dir + "\\tolmupdate.exe", part = exe + ".part", marker = dir + "\\started.txt";
    std::string demo = slurp(buildDir() + "\\update-stub\\tolmupdate.exe");
    platform::Files& files = platform::systemFiles();
    CreateDirectoryA(dir.c_str(), nullptr);

    ASSERT_TRUE(files.write(exe, "stale"));
    ASSERT_TRUE(files.write(part, demo));
    ASSERT_TRUE(files.replace(part, exe));
    EXPECT_EQ(slurp(exe), demo);
    EXPECT_EQ(GetFileAttributesA(part.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(files.write(dir + "\\no such folder\\x", "x"));

    // A program that runs holds its file: nothing takes its place, and it is not reported gone.
    HANDLE held = CreateFileA(exe.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(files.write(part, "new"));
    EXPECT_FALSE(files.replace(part, exe));
    EXPECT_FALSE(files.remove(exe));
    CloseHandle(held);
    EXPECT_TRUE(files.remove(part));
    EXPECT_TRUE(files.remove(part)) << "a file that is not there is gone";

    // Held unchanged: only with exactly the verified bytes; while held nothing replaces or
    // rewrites it, and it still starts.
    ASSERT_TRUE(files.write(exe, demo));
    EXPECT_FALSE(files.holdUnchanged(exe, demo + "x"));
    EXPECT_FALSE(files.holdUnchanged(exe, demo.substr(1)));
    platform::Files::Hold hold = files.holdUnchanged(exe, demo);
    ASSERT_TRUE(hold);
    ASSERT_TRUE(files.write(part, "swapped"));
    EXPECT_FALSE(files.replace(part, exe));
    EXPECT_FALSE(files.write(exe, "rewritten"));
    EXPECT_TRUE(files.remove(part));

    // Held through another spelling of its path (the folder's short name): the start goes by the
    // path the held file has, which is the one the started program then sees as its own.
    hold.reset();
    char shortName[MAX_PATH];
    DWORD shortLength = GetShortPathNameA(exe.c_str(), shortName, MAX_PATH);
    ASSERT_GT(shortLength, 0u);
    ASSERT_LT(shortLength, DWORD{MAX_PATH});
    ASSERT_NE(shortName, exe) << "the folder has no short name to reach it by";
    hold = files.holdUnchanged(shortName, demo);
    ASSERT_TRUE(hold);
    std::string started = files.heldPath(hold);
    char longName[MAX_PATH];
    ASSERT_GT(GetLongPathNameA(exe.c_str(), longName, MAX_PATH), 0u);
    EXPECT_EQ(started, longName) << "held as " << shortName;
    EXPECT_EQ(started.rfind("\\\\?\\", 0), std::string::npos) << "no long-path prefix for the shell";
    EXPECT_EQ(files.heldPath(nullptr), "");

    SetEnvironmentVariableA("TOLM_UPDATE_MARKER", marker.c_str());
    platform::startProgram(started, platform::kStartAsUser, "/D=C:\\Program Files\\TOLM");
    for (int i = 0; i < 600 && slurp(marker).empty(); ++i) Sleep(50);  // it does not wait for the program
    EXPECT_EQ(slurp(marker), started + " /D=C:\\Program Files\\TOLM\n") << "the folder, spaces and all";
    hold.reset();
    for (int i = 0; i < 100 && !files.remove(exe); ++i) Sleep(50);
    DeleteFileA(marker.c_str());
    RemoveDirectoryA(dir.c_str());
}

bool isEmptyFolder(const std::string& dir) {
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return false;
    int entries = 0;
    do entries += std::string(found.cFileName) != "." && std::string(found.cFileName) != "..";
    while (FindNextFileA(h, &found));
    FindClose(h);
    return entries == 0;
}

// Wine gives a folder's read-only attribute and ACL no force over creating files in it (and the
// tests run as root), so the folders that cannot be written are ones the probe cannot create in
// for other reasons: a folder that is not there and a path that is a file, which say nothing about
// rights, and the host's /sys, which the host itself refuses even to root.
TEST(UpdateFiles, WhetherTheUserCanWriteInAFolderIsFoundByTryingAndLeavesNothing) {
    using Probe = platform::Files::WriteProbe;
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    std::string dir = tmp + std::string("tolm-probe-") + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    platform::Files& files = platform::systemFiles();
    EXPECT_EQ(files.probeWrite(dir), Probe::Writable);
    EXPECT_EQ(files.probeWrite(dir), Probe::Writable) << "a second try in the same tick gets a name of its own";
    EXPECT_TRUE(isEmptyFolder(dir)) << "the probe left a file behind";
    EXPECT_EQ(files.probeWrite(dir + "\\not there"), Probe::OtherFailure);
    std::string file = dir + "\\a file";
    ASSERT_TRUE(files.write(file, "x"));
    EXPECT_EQ(files.probeWrite(file), Probe::OtherFailure);
    DeleteFileA(file.c_str());
    RemoveDirectoryA(dir.c_str());
    if (GetFileAttributesA("Z:\\sys\\kernel") != INVALID_FILE_ATTRIBUTES) {
        EXPECT_EQ(files.probeWrite("Z:\\sys\\kernel"), Probe::AccessDenied);
    }
}

// A folder of the user's own for an update the program folder cannot take (where it lies, the
// end-to-end test checks): a new one each time, removed only once empty.
TEST(UpdateFiles, AFolderOfTheUsersOwnIsANewOneEachTime) {
    platform::Files& files = platform::systemFiles();
    std::string first = files.newPrivateFolder(), second = files.newPrivateFolder();
    ASSERT_FALSE(first.empty());
    ASSERT_NE(first, second);
    EXPECT_TRUE(isEmptyFolder(first) && isEmptyFolder(second));
    ASSERT_TRUE(files.write(first + "\\tolmupdate.exe", "MZ"));
    EXPECT_FALSE(files.removeFolder(first)) << "a folder with the update in it";
    EXPECT_TRUE(files.remove(first + "\\tolmupdate.exe"));
    for (const std::string& made : {first, second}) {
        EXPECT_TRUE(files.removeFolder(made));
        EXPECT_EQ(GetFileAttributesA(made.c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(files.removeFolder(made)) << "a folder that is not there is gone";
    }
}

// The stand-ins the tests publish carry the releases their tests announce, read from their bytes
// as the download reads them; the widget itself reads as its own version.
TEST(UpdateFiles, TheBuiltProgramsCarryTheirReleasesInTheirVersionResources) {
    auto release = [](const std::string& path) -> std::string {
        std::string bytes = slurp(path);
        auto v = tolm::readReleaseVersion(bytes);
        if (bytes.empty()) return "(no file " + path + ")";
        return v ? std::to_string(v->major) + "." + std::to_string(v->minor) + "." + std::to_string(v->revision)
                 : "(no version)";
    };
    std::string build = buildDir();
    EXPECT_EQ(release(build + "\\update-stub\\tolmupdate.exe"), STAND_IN_VERSION);
    EXPECT_EQ(release(build + "\\update-stub-older\\tolmupdate.exe"), STAND_IN_OLDER_VERSION);
    EXPECT_EQ(release(build + "\\app\\tolm.exe"), TOLM_VERSION_TEXT);
    EXPECT_EQ(release(build + "\\app\\ui\\back.png"), "(no version)");
}

}  // namespace
