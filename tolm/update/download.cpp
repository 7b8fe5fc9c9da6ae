#include "tolm/update/download.h"

#include <utility>

#include "build_config.h"
#include "tolm/countdown/services.h"
#include "tolm/layouts/layouts.h"
#include "tolm/update/form_exit.h"
#include "tolm/update/version.h"

namespace tolm {

DownLoad::DownLoad(forms::App& app) : Form(app, layouts::DownLoad) {
    on("TimerExit", forms::Event::Timer, [this](const forms::Mouse&) { TimerExit_Timer(); });
}

void DownLoad::Form_Load() {
    DownloadFile(std::string(TOLM_PUBLISHER) + kUpdatePath, backend().programFolder() + kUpdateFile);
}

void DownLoad::Form_Unload() {
    alive_.reset();
}

void DownLoad::show() {
    showAsked_ = true;
    if (ended_) Form::show();
}

void DownLoad::DownloadFile(const std::string& url, const std::string& path) {
    path_ = path;
    if (!services().fetcher) return finish(UpdateVerdict::NotTransferred, {});
    // The signature first: without it the program is not worth fetching.
    platform::FetchRequest sig{url + kSignatureSuffix, 4096, kUpdateTimeout};
    fetch(sig, [this, url](platform::FetchResult r) {
        signature_ = std::move(r);
        if (!signature_.ok()) return finish(judgeUpdate(signature_, {}, {}), {});
        fetch({url, kMaxUpdateBytes, kUpdateTimeout}, [this](platform::FetchResult program) {
            UpdateVerdict verdict = judgeUpdate(signature_, program, services().verifyUpdate);
            if (verdict == UpdateVerdict::Verified)
                verdict = judgeRelease(program.body, LatestVersion, backend().programVersion());
            finish(verdict, program.body);
        });
    });
}

void DownLoad::fetch(platform::FetchRequest request, std::function<void(platform::FetchResult)> then) {
    std::weak_ptr<bool> alive = alive_;
    services().fetcher->get(std::move(request), [this, alive, then = std::move(then)](platform::FetchResult r) {
        if (alive.expired()) return;
        // Handled as any event is: a fault is shown and ends the program, and a window unloaded
        // meanwhile is freed only afterwards.
        app().enter();
        guarded([&] { then(std::move(r)); });
        app().leave();
    });
}

void DownLoad::finish(UpdateVerdict verdict, const std::string& program) {
    bool placed = verdict == UpdateVerdict::Verified && putInPlace(program);
    if (!placed) {
        discard();
        app().messageBox("下载错误");
    }
    // Only now has the transfer ended for the user: after the message, as the old blocking
    // download showed it from inside the window's load.
    verified_ = placed;
    ended_ = true;
    if (showAsked_) Form::show();
}

// Written under a temporary name and moved over the program only when whole: a failure at any
// step leaves nothing that a later start could run.
bool DownLoad::putInPlace(const std::string& program) {
    platform::Files* files = services().files;
    if (!files) return false;
    // Whether the user may write in the program folder is asked before anything is written there.
    // The setup installs for the user into a folder the user owns: there, administrator rights
    // would only keep a standard user from updating, run an administrator's setup in a folder the
    // user's own programs can change, and put the log-on entry into the administrator's profile.
    // They are asked for only where the system refuses the user access to the folder; the update
    // then waits in a folder of the user's own, which no other account can change before it starts.
    std::size_t cut = path_.find_last_of('\\');
    if (cut == std::string::npos) return false;  // no folder named
    std::string folder = path_.substr(0, cut);
    platform::Files::WriteProbe probe = files->probeWrite(folder);
    verb_ = platform::startVerbFor(probe);
    if (updateFolderFor(probe) == UpdateFolder::Private) {
        privateFolder_ = files->newPrivateFolder();
        if (privateFolder_.empty()) return false;
        path_ = privateFolder_ + path_.substr(cut);
        // Not beside tolm.exe, the setup would install where the registry of the account whose
        // rights it runs with says (often another's); it is told which installation to update.
        parameters_ = "/D=" + folder;
    }
    std::string part = path_ + kPartialSuffix;
    if (!files->write(part, program)) return false;
    if (!files->replace(part, path_)) {
        files->remove(part);
        return false;
    }
    // What is started (perhaps with administrator rights) must be what was verified: from here
    // until the start, nobody can change the file, and it is read back to match.
    hold_ = files->holdUnchanged(path_, program);
    // The start goes by the path the held file has, not by its name looked up again, which a
    // link in the folder could turn towards another file between the check and the start.
    heldPath_ = hold_ ? files->heldPath(hold_) : std::string();
    if (heldPath_.empty()) hold_.reset();
    return hold_ != nullptr;
}

void DownLoad::discard() {
    if (platform::Files* files = services().files) {
        files->remove(path_ + kPartialSuffix);
        files->remove(path_);
        if (!privateFolder_.empty()) files->removeFolder(privateFolder_);
    }
}

void DownLoad::TimerExit_Timer() {
    if (!ended_ || acted_) return;  // the first tick after the transfer's end acts, once
    acted_ = true;
    bool start = verified_;
    std::string path = heldPath_;
    platform::Files::Hold hold = std::move(hold_);  // released once the start has returned
    const char* verb = verb_;
    std::string parameters = parameters_;
    app().unload<FormExit>();
    app().unload(*this);
    if (start && hold && services().launch) services().launch(path, verb, parameters);
}

}  // namespace tolm
