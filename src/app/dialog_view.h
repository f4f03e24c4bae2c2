// SPDX-License-Identifier: MIT
#pragma once
// What the dispatcher changes in the main window: title, button captions and
// fonts, focus and pointer shape. Qt implements it for the real window;
// MemoryDialogView records it for tests and tools.

#include <map>
#include <string>

namespace tambrel {

constexpr int kCanvasId = 1001;
constexpr int kFirstModeButtonId = 1002;
constexpr int kEmptySlotId = 1016;
constexpr int kClearScreenId = 1017;
constexpr int kNoControl = 0;

enum class ButtonFont { Dialog, Normal, Bold };
enum class PointerShape { Hidden, Arrow };

class DialogView {
public:
    virtual ~DialogView() = default;
    virtual void setTitle(const std::string& title) = 0;
    virtual void setButtonCaption(int id, const std::string& caption) = 0;
    virtual void setButtonFont(int id, ButtonFont font) = 0;
    virtual void setButtonEnabled(int id, bool enabled) = 0;
    virtual int focusedControl() = 0;
    virtual void setFocusedControl(int id) = 0;
    virtual void setPointerShape(int overControlId, PointerShape shape) = 0;
    virtual void releaseFonts() = 0;
};

class MemoryDialogView : public DialogView {
public:
    struct Button {
        std::string caption;
        ButtonFont font = ButtonFont::Dialog;
        bool enabled = false;
        bool operator==(const Button&) const = default;
    };

    std::string title = "Tambrel";
    std::map<int, Button> buttons;
    std::map<int, PointerShape> pointerShapes;
    int focus = kNoControl;
    bool fontsReleased = false;

    void setTitle(const std::string& t) override { title = t; }
    void setButtonCaption(int id, const std::string& c) override { buttons[id].caption = c; }
    void setButtonFont(int id, ButtonFont f) override { buttons[id].font = f; }
    void setButtonEnabled(int id, bool e) override { buttons[id].enabled = e; }
    int focusedControl() override { return focus; }
    void setFocusedControl(int id) override { focus = id; }
    void setPointerShape(int id, PointerShape s) override { pointerShapes[id] = s; }
    void releaseFonts() override { fontsReleased = true; }
};

} // namespace tambrel
