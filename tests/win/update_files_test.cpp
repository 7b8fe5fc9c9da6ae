// The system side of the update: whole files in and out of a folder, and the elevated start of
// the demo update program by its full path.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>

#include "platform/files.h"
#include "platform/win32/text.h"

namespace {

std::string env(const char* name) {
    char buf[1024];
    DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    return n && n < sizeof buf ? std::string(buf, n) : std::string();
}
std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}
bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

struct UpdateFiles : ::testing::Test {
    std::string dir;
    platform::Files& files = platform::systemFiles();
    void SetUp() override {
        char tmp[MAX_PATH];
        GetTempPathA(MAX_PATH, tmp);
        dir = std::string(tmp) + "tolm-update-files-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(dir.c_str(), nullptr);
    }
    void TearDown() override {
        for (const char* f : {"\\tolmupdate.exe", "\\tolmupdate.exe.part", "\\started.txt"})
            DeleteFileA((dir + f).c_str());
        RemoveDirectoryA(dir.c_str());
    }
};

TEST_F(UpdateFiles, AWholeFileReplacesTheOldOneAndALockedOneStays) {
    std::string exe = dir + "\\tolmupdate.exe", part = exe + ".part";
    std::string big(3 << 20, 'x');  // more than one write of the loop
    big[12345] = 'y';
    ASSERT_TRUE(files.write(exe, "old"));
    ASSERT_TRUE(files.write(part, big));
    ASSERT_TRUE(files.replace(part, exe));
    EXPECT_EQ(slurp(exe), big);
    EXPECT_FALSE(exists(part));

    // An update program still running holds its file: the new one cannot take its place, and
    // the caller can remove its temporary file.
    HANDLE held = CreateFileA(exe.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(files.write(part, "new"));
    EXPECT_FALSE(files.replace(part, exe));
    EXPECT_FALSE(files.remove(exe)) << "reported gone while it is still there";
    CloseHandle(held);
    EXPECT_TRUE(files.remove(part));
    EXPECT_EQ(slurp(exe), big);

    EXPECT_TRUE(files.remove(exe));
    EXPECT_TRUE(files.remove(exe)) << "a file that is not there is gone";
    EXPECT_FALSE(files.write(dir + "\\no such folder\\tolmupdate.exe", "x"));
    EXPECT_FALSE(files.replace(part, exe)) << "nothing to move";
    EXPECT_FALSE(exists(exe));
}

TEST_F(UpdateFiles, TheUpdateStartsElevatedByItsFullPath) {
    std::string exe = dir + "\\tolmupdate.exe", marker = dir + "\\started.txt";
    std::string demo = slurp(env("TOLM_BUILD_DIR") + "\\site\\software\\tolmupdate.exe");
    ASSERT_GT(demo.size(), 1000u);
    ASSERT_TRUE(files.write(exe, demo));
    SetEnvironmentVariableA("TOLM_UPDATE_MARKER", marker.c_str());
    platform::runElevated(exe);
    // The start does not wait for the program; its record comes when it has run.
    for (int i = 0; i < 600 && slurp(marker).empty(); ++i) Sleep(50);
    for (int i = 0; i < 100 && !files.remove(exe); ++i) Sleep(50);
    EXPECT_EQ(slurp(marker), exe + "\n");
}

}  // namespace
