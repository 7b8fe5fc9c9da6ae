#pragma once
// The windows of the countdown program as they stand when created, before any code runs.
#include "platform/forms/layout.h"

namespace tolm::layouts {

extern const forms::FormDef FormTolm;
extern const forms::FormDef FormMenu;
extern const forms::FormDef FormAbout;
extern const forms::FormDef DownLoad;
extern const forms::FormDef FormExit;

// Artwork names, as the program's resources carry them.
inline constexpr const char* kDigitPictures[10] = {"DIGIT0", "DIGIT1", "DIGIT2", "DIGIT3", "DIGIT4",
                                                    "DIGIT5", "DIGIT6", "DIGIT7", "DIGIT8", "DIGIT9"};
// The shaped windows' background, with a see-through outline, and the pointing hand of links.
inline constexpr const char* kBackgroundPicture = "BACKGIF";
inline constexpr const char* kLinkCursor = "LINK";

}  // namespace tolm::layouts
