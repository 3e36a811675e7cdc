// The web host's keyboard: every KeyboardEvent.code it knows, through the
// layer's translation, comes out as the virtual-key code and scan code
// Windows gives that physical key (US layout, NumLock on).
#include <gtest/gtest.h>

#include <stdio.h>

#include "layer.h"
#include "web_host.h"

namespace {

struct Row {
    const char *code;
    int vk;
    int scan;   // set-1 scan code, 0x100 for an extended key; -1 left unchecked
};

const Row rows[] = {
    {"KeyA", 'A', 0x1E}, {"KeyL", 'L', 0x26}, {"KeyM", 'M', 0x32}, {"KeyP", 'P', 0x19}, {"KeyQ", 'Q', 0x10},
    {"KeyZ", 'Z', 0x2C}, {"Digit1", '1', 0x02}, {"Digit9", '9', 0x0A}, {"Digit0", '0', 0x0B},
    {"Enter", 0x0D, 0x1C}, {"Escape", 0x1B, 0x01}, {"Backspace", 0x08, 0x0E}, {"Tab", 0x09, 0x0F},
    {"Space", 0x20, 0x39}, {"Minus", 0xBD, 0x0C}, {"Equal", 0xBB, 0x0D}, {"BracketLeft", 0xDB, 0x1A},
    {"BracketRight", 0xDD, 0x1B}, {"Backslash", 0xDC, 0x2B}, {"Semicolon", 0xBA, 0x27}, {"Quote", 0xDE, 0x28},
    {"Backquote", 0xC0, 0x29}, {"Comma", 0xBC, 0x33}, {"Period", 0xBE, 0x34}, {"Slash", 0xBF, 0x35},
    {"IntlBackslash", 0xE2, 0x56}, {"CapsLock", 0x14, 0x3A}, {"F1", 0x70, 0x3B}, {"F10", 0x79, 0x44},
    {"F11", 0x7A, 0x57}, {"F12", 0x7B, 0x58}, {"F13", 0x7C, -1}, {"F24", 0x87, -1},
    {"PrintScreen", 0x2C, -1}, {"ScrollLock", 0x91, 0x46}, {"Pause", 0x13, -1},
    {"Insert", 0x2D, 0x152}, {"Home", 0x24, 0x147}, {"PageUp", 0x21, 0x149}, {"Delete", 0x2E, 0x153},
    {"End", 0x23, 0x14F}, {"PageDown", 0x22, 0x151}, {"ArrowRight", 0x27, 0x14D}, {"ArrowLeft", 0x25, 0x14B},
    {"ArrowDown", 0x28, 0x150}, {"ArrowUp", 0x26, 0x148}, {"NumLock", 0x90, -1},
    {"NumpadDivide", 0x6F, 0x135}, {"NumpadMultiply", 0x6A, 0x37}, {"NumpadSubtract", 0x6D, 0x4A},
    {"NumpadAdd", 0x6B, 0x4E}, {"NumpadEnter", 0x0D, 0x11C}, {"Numpad1", 0x61, 0x4F}, {"Numpad5", 0x65, 0x4C},
    {"Numpad9", 0x69, 0x49}, {"Numpad0", 0x60, 0x52}, {"NumpadDecimal", 0x6E, 0x53},
    {"ContextMenu", 0x5D, 0x15D}, {"MetaLeft", 0x5B, 0x15B}, {"MetaRight", 0x5C, 0x15C}, {"OSLeft", 0x5B, 0x15B},
    {"ControlLeft", 0x11, 0x1D}, {"ControlRight", 0x11, 0x11D}, {"ShiftLeft", 0x10, 0x2A},
    {"ShiftRight", 0x10, 0x36}, {"AltLeft", 0x12, 0x38}, {"AltRight", 0x12, 0x138},
};

TEST(WebKeys, CodesBecomeWindowsKeys)
{
    for (const Row &r : rows) {
        SCOPED_TRACE(r.code);
        int usb = compat::web_key_usage(r.code);
        UINT message;
        WPARAM vk;
        LPARAM lParam;
        ASSERT_TRUE(compat::translate_key(usb, true, false, true, &message, &vk, &lParam)) << "usage " << usb;
        EXPECT_EQ((int)vk, r.vk);
        if (r.scan >= 0) {
            EXPECT_EQ((int)((lParam >> 16) & 0x1FF), r.scan);
        }
        compat::translate_key(usb, false, false, true, &message, &vk, &lParam);
    }
}

TEST(WebKeys, OtherCodesHaveNoKey)
{
    for (const char *code : {"", "Key", "KeyAB", "Keya", "Digit10", "F0", "F25", "F1x", "Numpad10", "NumpadEqual",
                             "Fn", "AudioVolumeUp", "Unidentified"})
        EXPECT_EQ(compat::web_key_usage(code), 0) << code;
    EXPECT_EQ(compat::web_key_usage(nullptr), 0);
}

}  // namespace
