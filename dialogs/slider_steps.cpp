#include "dialogs/slider_steps.h"

namespace sylvane::dialogs {

SliderSteps keySteps(int modifiers) {
    switch (modifiers & 7) {
    case kShiftMask:
        return {50, 5};
    case kCtrlMask:
        return {100, 10};
    case kAltMask:
        return {1, 1};
    case kShiftMask | kAltMask:
        return {5, 1};
    default:
        return {10, 1};
    }
}

int mouseLargeChange(int modifiers) {
    return keySteps(modifiers).largeChange;
}

} // namespace sylvane::dialogs
