#include <gtest/gtest.h>
#include <iconv.h>

#include <stdexcept>

#include "fake_backend.h"
#include "jw/autostart.h"
#include "jw/form1.h"

namespace {

// Code page 936 through the C library's converter, as the system would write it.
std::optional<std::string> toGbk(std::string_view utf8) {
    iconv_t cd = iconv_open("CP936", "UTF-8");
    std::string in(utf8), out(in.size() * 2 + 4, '\0');
    char* ip = in.data();
    char* op = out.data();
    size_t il = in.size(), ol = out.size();
    size_t r = iconv(cd, &ip, &il, &op, &ol);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1)) return std::nullopt;
    out.resize(out.size() - ol);
    return out;
}

const std::string kText1 = "echo \"TOLM\"=\"";
const std::string kText2 = "\">>tolm.reg ";

TEST(Autostart, EscapedPathDoublesOnlyTheSeparators) {
    struct {
        const char* dir;
        const char* want;
    } cases[] = {
        {"C:\\Program Files\\Widget", "C:\\\\Program Files\\\\Widget\\\\tolm.exe"},
        {"D:\\", "D:\\\\\\\\tolm.exe"},  // a drive root already ends in a separator
        {"C:\\a\"b%c&d^e", "C:\\\\a\"b%c&d^e\\\\tolm.exe"},
        {"\\\\server\\share", "\\\\\\\\server\\\\share\\\\tolm.exe"},
    };
    for (auto& c : cases) EXPECT_EQ(jw::escapedExePath(c.dir), c.want) << c.dir;
}

TEST(Autostart, BatchFileLines) {
    struct {
        const char* dir;
        const char* valueLine;
    } cases[] = {
        {"C:\\Program Files\\TOLM", "echo \"TOLM\"=\"C:\\\\Program Files\\\\TOLM\\\\tolm.exe\">>tolm.reg "},
        {"D:\\", "echo \"TOLM\"=\"D:\\\\\\\\tolm.exe\">>tolm.reg "},
        // Percent signs doubled, so that the interpreter writes each as itself; & and ^ stand
        // inside quotation marks and pass unchanged.
        {"C:\\100%\\%PATH%", "echo \"TOLM\"=\"C:\\\\100%%\\\\%%PATH%%\\\\tolm.exe\">>tolm.reg "},
        {"C:\\R&D ^x", "echo \"TOLM\"=\"C:\\\\R&D ^x\\\\tolm.exe\">>tolm.reg "},
        {"C:\\高考\\倒计时", "echo \"TOLM\"=\"C:\\\\高考\\\\倒计时\\\\tolm.exe\">>tolm.reg "},
    };
    for (auto& c : cases) {
        std::string want = std::string("@echo off \r\n") +
                           "echo REGEDIT4>tolm.reg\r\n"  // no blank: the registry editor needs exactly REGEDIT4
                           "echo. \r\n"
                           "echo [HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\run]>>tolm.reg \r\n" +
                           c.valueLine + "\r\n" + "regedit /s tolm.reg &del tolm.reg \r\n";
        EXPECT_EQ(jw::batchText(c.dir, kText1, kText2), want) << c.dir;
    }
}

TEST(Autostart, CjkFolderIsWrittenInCodePage936) {
    auto bytes = toGbk(jw::batchText("C:\\高考", kText1, kText2));
    ASSERT_TRUE(bytes);
    EXPECT_NE(bytes->find("C:\\\\\xB8\xDF\xBF\xBC\\\\tolm.exe"), std::string::npos);
}

class FakeShell final : public platform::Shell {
public:
    std::map<std::string, std::string> files;
    std::vector<std::string> log;
    std::string failWrite;  // a path that cannot be written
    bool failShortcut = false;

    std::optional<std::string> toAnsi(std::string_view utf8) const override { return toGbk(utf8); }
    void replaceFile(const std::string& path, const std::string& bytes) override {
        if (path == failWrite) throw std::runtime_error("无法创建文件 " + path + ": 拒绝访问。");
        files[path] = bytes;
        log.push_back("write " + path);
    }
    void startMinimized(const std::string& cmd) override { log.push_back("start " + cmd); }
    std::string desktopFolder() override { return "C:\\Users\\stu\\Desktop"; }
    void createShortcut(const std::string& link, const std::string& target, std::uint16_t hotkey) override {
        if (failShortcut) throw std::runtime_error("无法保存快捷方式");
        log.push_back("link " + link + " -> " + target + " " + std::to_string(hotkey));
    }
};

struct Jw : ::testing::Test {
    fake::Backend backend;
    FakeShell shell;
    forms::App app{backend, "TOLM"};
    jw::Form1* form = nullptr;

    void SetUp() override {
        backend.folder = "C:\\Program Files\\TOLM";
        jw::shell() = &shell;
    }
    void TearDown() override { jw::shell() = nullptr; }
    jw::Form1& open() {
        form = &app.form<jw::Form1>();
        form->show();
        return *form;
    }
    // A click on the Done button's face, as the user makes it.
    void done() {
        fake::Pointer p{*form};
        EXPECT_THROW(p.click(360, 320), forms::ProgramEnded);
    }
};

TEST_F(Jw, OpensShapedWithBothOptionsTickedAndTheFocusOnTheFirst) {
    jw::Form1& f = open();
    EXPECT_EQ(backend.windows[&f].exStyle, 0x80000u);
    EXPECT_EQ(backend.windows[&f].colorKey, 255u);
    EXPECT_EQ(backend.windows[&f].layeredFlags, 1u);
    EXPECT_EQ(f("Check1").value(), 1);
    EXPECT_EQ(f("Check3").value(), 1);
    EXPECT_EQ(backend.focused, &f("Check1"));
    EXPECT_EQ(f("Text1").text(), kText1);
    EXPECT_EQ(f("Text2").text(), kText2);
}

TEST_F(Jw, DoneCarriesOutTheTickedOptionsInOrder) {
    struct Case {
        int check1, check3;
        std::vector<std::string> log;
    } cases[] = {
        {1, 1,
         {"write C:\\Program Files\\TOLM\\jw.bat", "start \"C:\\Program Files\\TOLM\\jw.bat\"",
          "link C:\\Users\\stu\\Desktop\\TOLM.lnk -> C:\\Program Files\\TOLM\\tolm.exe 1603"}},
        {1, 0, {"write C:\\Program Files\\TOLM\\jw.bat", "start \"C:\\Program Files\\TOLM\\jw.bat\""}},
        {0, 1, {"link C:\\Users\\stu\\Desktop\\TOLM.lnk -> C:\\Program Files\\TOLM\\tolm.exe 1603"}},
        {0, 0, {}},
    };
    for (const Case& c : cases) {
        shell.log.clear();
        jw::Form1& f = open();
        f("Check1").setValue(c.check1);
        f("Check3").setValue(c.check3);
        done();
        EXPECT_EQ(shell.log, c.log) << c.check1 << c.check3;
        app.unload<jw::Form1>();
    }
}

TEST_F(Jw, CloseWritesNothing) {
    jw::Form1& f = open();
    fake::Pointer p{f};
    EXPECT_THROW(p.click(500, 315), forms::ProgramEnded);
    EXPECT_TRUE(shell.log.empty());
}

TEST_F(Jw, AFailingStepIsShownAndStopsWhatFollows) {
    shell.failWrite = "C:\\Program Files\\TOLM\\jw.bat";
    open();
    done();
    EXPECT_TRUE(shell.log.empty());  // neither started nor linked
    ASSERT_EQ(backend.messages.size(), 1u);
    EXPECT_NE(backend.messages[0].find("拒绝访问"), std::string::npos);

    // A failing shortcut comes after the batch, which stays started.
    shell.failWrite.clear();
    shell.failShortcut = true;
    app.unload<jw::Form1>();
    open();
    done();
    EXPECT_EQ(shell.log.size(), 2u);
    EXPECT_EQ(backend.messages.size(), 2u);
}

TEST_F(Jw, AFolderTheCodePageCannotSpellGetsAMessageInsteadOfABrokenEntry) {
    backend.folder = "C:\\Users\\Łukasz\\TOLM";  // no such letter in code page 936
    open();
    done();
    EXPECT_TRUE(shell.files.empty());
    ASSERT_EQ(backend.messages.size(), 1u);
    EXPECT_NE(backend.messages[0].find("代码页"), std::string::npos);
    // The shortcut, made through the Unicode calls, is still made.
    ASSERT_EQ(shell.log.size(), 1u);
    EXPECT_EQ(shell.log[0], "link C:\\Users\\stu\\Desktop\\TOLM.lnk -> C:\\Users\\Łukasz\\TOLM\\tolm.exe 1603");
}

TEST_F(Jw, TheBatchFileIsWrittenInTheAnsiCodePage) {
    backend.folder = "C:\\高考";
    jw::Form1& f = open();
    f("Check3").setValue(0);
    done();
    ASSERT_EQ(shell.files.size(), 1u);
    EXPECT_EQ(shell.files.begin()->second, *toGbk(jw::batchText("C:\\高考", kText1, kText2)));
}

}  // namespace
