#include "jw/form1.h"

#include <stdexcept>

#include "jw/autostart.h"
#include "jw/layout.h"

namespace jw {

platform::Shell*& shell() {
    static platform::Shell* s = nullptr;
    return s;
}

Form1::Form1(forms::App& app)
    : Form(app, layouts::Form1),
      buttons(*this, {{"PicYes", "LabelYes", [this] { LabelYes_Click(); }},
                      {"PicNo", "LabelNo", [this] { LabelNo_Click(); }}}) {}

void Form1::Form_Load() {
    // Shaped by the red of the background: exactly WS_EX_LAYERED, red as the colour key.
    forms::shapeByColorKey(*this, forms::kRedKey);
}

void Form1::LabelYes_Click() {
    if ((*this)("Check1").value() == 1) makeAutostart();
    if ((*this)("Check3").value() == 1) makeShortcut();
    app().end();
}

void Form1::LabelNo_Click() { app().end(); }

static std::string programDir(const forms::Form& form) { return form.backend().programFolder(); }

void Form1::makeAutostart() {
    std::string dir = programDir(*this);
    std::string text = batchText(dir, (*this)("Text1").text(), (*this)("Text2").text());
    // The batch interpreter reads the ANSI code page: a folder it cannot spell would end up as
    // a wrong path in the registry, so no entry is better than a broken one.
    std::optional<std::string> ansi = shell()->toAnsi(text);
    if (!ansi) {
        // The shortcut goes through the Unicode calls and can still be made.
        app().messageBox("程序所在文件夹 \"" + dir +
                         "\" 含有本系统代码页无法表示的字符，无法添加开机启动。请将 TOLM 安装到其他文件夹。");
        return;
    }
    std::string bat = dir + "\\jw.bat";
    shell()->replaceFile(bat, *ansi);
    // Quoted, so that a folder with blanks is not taken for a program at its first blank.
    shell()->startMinimized("\"" + bat + "\"");
}

void Form1::makeShortcut() {
    std::string link = shell()->desktopFolder() + "\\TOLM.lnk";
    shell()->createShortcut(link, programDir(*this) + "\\tolm.exe", kShortcutHotkey);
}

}  // namespace jw
