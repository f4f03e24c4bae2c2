// SPDX-License-Identifier: MIT
#include "app/about.h"

namespace tambrel {

std::string aboutText(bool shortcuts, bool clips, bool plays)
{
    std::string text = std::string("Tambrel ") + TAMBREL_VERSION +
                       "\nFourteen animated graphics effects to watch and steer with the mouse.\n\n"
                       "A button switches its mode on, and off again; \"Clear Screen\" wipes the canvas. Over the "
                       "canvas the pointer steers the mode that is on, and a click sets off its own reaction.\n"
                       "A right-click on the canvas keeps what you see: a picture, " +
                       std::string(clips ? "a clip of the last seconds, " : "") +
                       "the session (every run is recorded in memory; nothing is written unless you ask).\n"
                       "A session replays bit for bit at its recorded pace; a press or a click takes it over, and "
                       "the window is yours from there.\n" +
                       std::string(plays ? "Play by Itself, in the same menu, lets Tambrel play on its own, mode after "
                                           "mode; a press, a click or a key takes over.\n"
                                         : "");
    if (shortcuts)
        text += std::string("\nSave Picture: Ctrl+S\n") + (clips ? "Save Clip: Ctrl+E\n" : "") +
                "Save Session: Ctrl+Shift+S\nOpen Session: Ctrl+O\n" + (plays ? "Play by Itself: Ctrl+Shift+P\n" : "") +
                "About Tambrel: F1\n"
                "Tab moves between the buttons; Space and Enter press the focused one.\n"
                "While a session replays (its bar under the window): Ctrl+P pause or play, Ctrl+Left and Ctrl+Right "
                "5 s back or on, Ctrl+Home and Ctrl+End to its start or end, Ctrl+Minus and Ctrl+Plus slower or faster, "
                "Ctrl+Enter take over.\n";
    text += "\nMIT licence. The source and its README come with every release (the source archive, and the web "
            "page's Source link).";
    return text;
}

} // namespace tambrel
