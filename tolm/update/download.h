#pragma once
// The download window: fetches the update program and the publisher's signature of it, puts
// the program in place once it is whole, verified and the announced newer release, and starts
// it, with administrator rights only when the program folder needs them. Where the user cannot
// write the program folder, the update is kept, checked and started in a folder of the user's own.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/fetch.h"
#include "platform/files.h"
#include "platform/forms/form.h"
#include "tolm/update/verdict.h"

namespace tolm {

// On the publisher's server: the program, and beside it its signature (raw r||s, 64 bytes).
inline constexpr const char* kUpdatePath = "/software/tolmupdate.exe";
inline constexpr const char* kSignatureSuffix = ".sig";
inline constexpr std::size_t kMaxUpdateBytes = std::size_t{64} << 20;
// A slow line may take its time over the update as long as it keeps moving (the fetch's silence
// limit, 30 s, still holds); a transfer still going after this long is given up.
inline constexpr std::chrono::minutes kUpdateTimeout{30};
// In the program folder: the program, and the name it has until it is verified and whole.
inline constexpr const char* kUpdateFile = "\\tolmupdate.exe";
inline constexpr const char* kPartialSuffix = ".part";

// Where the update is written, from what creating a file in the program folder met: there, as
// always, when the user can write it; otherwise in a new folder of the user's own, since writing
// in the program folder would fail, and with it every update of such an installation.
enum class UpdateFolder { Program, Private };
constexpr UpdateFolder updateFolderFor(platform::Files::WriteProbe probe) {
    return probe == platform::Files::WriteProbe::Writable ? UpdateFolder::Program : UpdateFolder::Private;
}

class DownLoad : public forms::Form {
public:
    explicit DownLoad(forms::App& app);

    // Shows the window once the transfer has ended, so that the user sees it only afterwards,
    // as when the transfer held up the whole program. It hides Form::show on purpose: the
    // manual check reaches it through `app().form<DownLoad>().show()`.
    void show();

    // Starts fetching `url` (and its signature beside it) for `path`; the transfer runs off the
    // user-interface thread, and its end, good or bad, is handled there.
    void DownloadFile(const std::string& url, const std::string& path);

    // The tick of `TimerExit`: the first one after the transfer ended closes the update windows
    // and starts the update, if it arrived verified.
    void TimerExit_Timer();

    bool transferEnded() const { return ended_; }

protected:
    void Form_Load() override;
    void Form_Unload() override;

private:
    void fetch(platform::FetchRequest request, std::function<void(platform::FetchResult)> then);
    void finish(UpdateVerdict verdict, const std::string& program);
    bool putInPlace(const std::string& program);
    void discard();

    std::string path_;
    // The folder of the user's own that took the update, when the program folder could not.
    std::string privateFolder_;
    // How the update is started, decided with where it went.
    const char* verb_ = platform::kStartAsUser;
    std::string parameters_;
    // Where the held file lies as the system resolved it when it was opened: what is started.
    std::string heldPath_;
    // The verified program, held unchanged from its move into place until it has been started.
    platform::Files::Hold hold_;
    platform::FetchResult signature_;
    bool ended_ = false;
    bool verified_ = false;
    bool showAsked_ = false;
    bool acted_ = false;
    // Answers that arrive after the window has gone find this expired and are dropped.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tolm
