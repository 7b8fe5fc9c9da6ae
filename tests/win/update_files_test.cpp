// The system side of the update: whole files moved into place, a running update's file left
// alone, and the elevated start by the full path.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>

#include "platform/files.h"

namespace {

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

TEST(UpdateFiles, MovedIntoPlaceWholeAndStartedElevatedByFullPath) {
    char tmp[MAX_PATH], build[1024];
    GetTempPathA(MAX_PATH, tmp);
    GetEnvironmentVariableA("TOLM_BUILD_DIR", build, sizeof build);
    std::string dir = tmp + std::string("tolm-update-") + std::to_string(GetCurrentProcessId());
    std::string exe = dir + "\\tolmupdate.exe", part = exe + ".part", marker = dir + "\\started.txt";
    std::string demo = slurp(build + std::string("\\update-stub\\tolmupdate.exe"));
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

    SetEnvironmentVariableA("TOLM_UPDATE_MARKER", marker.c_str());
    platform::runElevated(exe);
    for (int i = 0; i < 600 && slurp(marker).empty(); ++i) Sleep(50);  // it does not wait for the program
    EXPECT_EQ(slurp(marker), exe + "\n");
    hold.reset();
    for (int i = 0; i < 100 && !files.remove(exe); ++i) Sleep(50);
    DeleteFileA(marker.c_str());
    RemoveDirectoryA(dir.c_str());
}

}  // namespace
