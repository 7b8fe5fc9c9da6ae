#pragma once
// The autostart entry: a batch file that builds a registry script for the per-user Run key and
// imports it with the registry editor.
#include <string>
#include <string_view>

namespace jw {

// The program folder with every separator doubled, as a registry script spells a path,
// followed by tolm.exe: C:\A B -> C:\\A B\\tolm.exe.
std::string escapedExePath(std::string_view programDir);

// The batch file's text (UTF-8, CR LF after every line). text1 and text2 are the two pieces
// of the registry value line that the window keeps in its hidden text boxes.
std::string batchText(std::string_view programDir, std::string_view text1, std::string_view text2);

}  // namespace jw
