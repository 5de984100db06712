#include "dialogs/port_preselect.h"
#include "dialogs/slider_steps.h"

#include <gtest/gtest.h>

using namespace sylvane::dialogs;

namespace {
std::array<bool, 8> usableOnly(std::initializer_list<int> ports) {
    std::array<bool, 8> usable{};
    for (int p : ports) usable[p - 1] = true;
    return usable;
}
} // namespace

TEST(PortPreselection, TriesDownwardsThenWrapsOnceFromEight) {
    const std::array<bool, 8> all{true, true, true, true, true, true, true, true};
    const struct {
        const char* caption;
        std::array<bool, 8> usable;
        const char* finalCaption;
        int selected;
        bool message;
    } rows[] = {
        {"3", all, "3", 3, false},
        {"3", usableOnly({1}), "1", 1, false},
        {"3", usableOnly({6}), "6", 6, false},
        {"3", usableOnly({}), "", 0, true},
        {"12", usableOnly({8}), "8", 8, false},
        {"12", usableOnly({5}), "5", 5, false},
        {"", usableOnly({1}), "1", 1, false},
        {"0", usableOnly({2}), "2", 2, false},
        {"-4", usableOnly({3, 7}), "7", 7, false},
        {"2.5", usableOnly({2}), "2.5", 2, false},
        {"2.5", usableOnly({1}), "1", 1, false},
        {"abc", usableOnly({4}), "4", 4, false},
        {"8", usableOnly({8}), "8", 8, false},
    };
    for (const auto& r : rows) {
        const PortPreselection got = preselectPort(r.caption, r.usable);
        EXPECT_EQ(got.caption, r.finalCaption) << "caption " << r.caption;
        EXPECT_EQ(got.selectedPort, r.selected) << "caption " << r.caption;
        EXPECT_EQ(got.noPortsMessage, r.message) << "caption " << r.caption;
    }
}

TEST(PortPreselection, CancelBringsTheCaptionIntoRange) {
    const struct {
        const char* in;
        const char* out;
    } rows[] = {{"", "1"}, {"0", "1"}, {"9", "8"}, {"12", "8"}, {"5", "5"}, {"3.2", "3.2"}};
    for (const auto& r : rows) EXPECT_EQ(cancelPortCaption(r.in), r.out) << r.in;
}

TEST(SliderSteps, ModifiersChooseTheStepSizes) {
    const struct {
        int modifiers;
        int large, small, mouse;
    } rows[] = {
        {0, 10, 1, 10},
        {kShiftMask, 50, 5, 50},
        {kCtrlMask, 100, 10, 100},
        {kAltMask, 1, 1, 1},
        {kShiftMask | kAltMask, 5, 1, 5},
        {kShiftMask | kCtrlMask, 10, 1, 10},
        {kCtrlMask | kAltMask, 10, 1, 10},
        {kShiftMask | kCtrlMask | kAltMask, 10, 1, 10},
    };
    for (const auto& r : rows) {
        const SliderSteps s = keySteps(r.modifiers);
        EXPECT_EQ(s.largeChange, r.large) << r.modifiers;
        EXPECT_EQ(s.smallChange, r.small) << r.modifiers;
        EXPECT_EQ(mouseLargeChange(r.modifiers), r.mouse) << r.modifiers;
    }
}
