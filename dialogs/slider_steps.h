#pragma once
// Step sizes of the sensitivity slider, from the modifier keys held when a key or a mouse
// button goes down (1 Shift, 2 Ctrl, 4 Alt).

namespace sylvane::dialogs {

inline constexpr int kShiftMask = 1;
inline constexpr int kCtrlMask = 2;
inline constexpr int kAltMask = 4;

struct SliderSteps {
    int largeChange;
    int smallChange;
};

SliderSteps keySteps(int modifiers);
int mouseLargeChange(int modifiers);

} // namespace sylvane::dialogs
