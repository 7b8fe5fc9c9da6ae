#pragma once
// Whole files in and out of the program folder, or a folder of the user's own, for the update
// download. Every operation either does all of its work or reports that it did not; none leaves a
// partial file behind.
#include <memory>
#include <string>
#include <string_view>

namespace platform {

class Files {
public:
    virtual ~Files() = default;
    // Creates or replaces the file with exactly these bytes; false when that failed, and then no
    // file of that name is left.
    virtual bool write(const std::string& path, std::string_view bytes) = 0;
    // Moves a file over another, replacing it; false when it could not (both stay as they were).
    virtual bool replace(const std::string& from, const std::string& to) = 0;
    // Removes a file; true when no file of that name is left.
    virtual bool remove(const std::string& path) = 0;
    // Opens the file so that nobody can write, rename or delete it while the hold lives (reading
    // and starting it stay possible), and checks that it holds exactly `bytes`; empty when the
    // file could not be held that way or holds anything else.
    using Hold = std::shared_ptr<void>;
    virtual Hold holdUnchanged(const std::string& path, std::string_view bytes) = 0;
    // The full path that the held file has now, as the system resolves it from the open file
    // (not from the name it was opened by); empty when the system cannot tell.
    virtual std::string heldPath(const Hold& hold) = 0;
    // Whether the current user can create files in `folder`, found by creating one (and
    // removing it), not guessed from where the folder lies. Only a refusal of access says that
    // the user lacks the right; a file held open by another program, an antivirus lock or a
    // folder that is gone say nothing about rights.
    enum class WriteProbe { Writable, AccessDenied, OtherFailure };
    virtual WriteProbe probeWrite(const std::string& folder) = 0;
    // A new folder of the current user's own, for a download that the program folder cannot
    // take: made in the user's temporary folder under a name that nothing had (never one that was
    // there already), and open to nobody but the user, the system and the administrators, so that
    // no other account can add to it or change what lies in it. A folder, not a file among the
    // others there: a program started with administrator rights loads libraries from its own
    // folder first. Empty when none could be made.
    virtual std::string newPrivateFolder() = 0;
    // Removes an empty folder; true when no folder of that name is left.
    virtual bool removeFolder(const std::string& path) = 0;
};

// The system's own (Windows builds only).
Files& systemFiles();

// The ways to start the update: with the user's own rights, or with administrator rights (the
// system asks the user first, and a standard user must know an administrator's password).
inline constexpr const char* kStartAsUser = "open";
inline constexpr const char* kStartAsAdministrator = "runas";

// The verb for an update in a folder the probe found so: administrator rights only where the
// system refused the user access. Any other failure starts it as the user, whose setup then
// says what is wrong, rather than asking for rights that would not help.
constexpr const char* startVerbFor(Files::WriteProbe probe) {
    return probe == Files::WriteProbe::AccessDenied ? kStartAsAdministrator : kStartAsUser;
}

// Starts a program with one of the verbs above, by its full path, with the given command-line
// parameters (none unless given); does not wait. Whether it started is not reported.
void startProgram(const std::string& path, const char* verb, const std::string& parameters = {});

}  // namespace platform
