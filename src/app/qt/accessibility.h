// SPDX-License-Identifier: MIT
#pragma once
// What a screen reader sees of the window: a dialog named by its title, the
// canvas named "Canvas" with a description of the mode that is on, and the
// mode buttons as toggles whose checked state says whether their mode is on.

namespace tambrel {

// Once, before the window is built.
void installAccessibility();

} // namespace tambrel
