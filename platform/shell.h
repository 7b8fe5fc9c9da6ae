#pragma once
// Files, processes and shortcuts, as the post-install tool uses them. Failures throw
// std::runtime_error carrying the system's own description.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class Shell {
public:
    virtual ~Shell() = default;
    // The text in the system's ANSI code page, or nothing when the code page cannot spell it.
    virtual std::optional<std::string> toAnsi(std::string_view utf8) const = 0;
    // Replaces the file with exactly these bytes; on failure whatever stood there stays and no
    // partial file is left behind.
    virtual void replaceFile(const std::string& path, const std::string& bytes) = 0;
    // Starts a program minimised (with focus) and does not wait for it.
    virtual void startMinimized(const std::string& commandLine) = 0;
    virtual std::string desktopFolder() = 0;
    // A shell link to target with a hot key (low byte the key, high byte the modifier flags).
    virtual void createShortcut(const std::string& linkPath, const std::string& target, std::uint16_t hotkey) = 0;
};

// The system's own (Windows builds only).
Shell& systemShell();

}  // namespace platform
