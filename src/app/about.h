// SPDX-License-Identifier: MIT
#pragma once
// What Tambrel says about itself in every edition's About box (the web page
// shows it below the window): what it is, its version and licence, where
// its source is, what the mouse does, and every shortcut.

#include <string>

namespace tambrel {

inline constexpr char kAboutTitle[] = "About Tambrel";

// With `shortcuts`, the keys of the desktop editions' menu as well; `clips`
// where the edition makes clips; `plays` where it can play by itself.
std::string aboutText(bool shortcuts, bool clips, bool plays);

} // namespace tambrel
