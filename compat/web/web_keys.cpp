// The web backend's keyboard: a KeyboardEvent's `code` (the physical key,
// whatever the layout) to the USB HID usage that input_key takes.
//
// Left out: keys the layer has no virtual-key code for (Fn, media and
// language keys, NumpadEqual), which it would drop anyway.
#include <string.h>

#include "web_host.h"

namespace compat {
namespace {

struct Code {
    const char *name;
    int usb;
};

const Code named[] = {
    {"Enter", 40}, {"Escape", 41}, {"Backspace", 42}, {"Tab", 43}, {"Space", 44},
    {"Minus", 45}, {"Equal", 46}, {"BracketLeft", 47}, {"BracketRight", 48}, {"Backslash", 49},
    {"Semicolon", 51}, {"Quote", 52}, {"Backquote", 53}, {"Comma", 54}, {"Period", 55},
    {"Slash", 56}, {"CapsLock", 57}, {"PrintScreen", 70}, {"ScrollLock", 71}, {"Pause", 72},
    {"Insert", 73}, {"Home", 74}, {"PageUp", 75}, {"Delete", 76}, {"End", 77},
    {"PageDown", 78}, {"ArrowRight", 79}, {"ArrowLeft", 80}, {"ArrowDown", 81}, {"ArrowUp", 82},
    {"NumLock", 83}, {"NumpadDivide", 84}, {"NumpadMultiply", 85}, {"NumpadSubtract", 86},
    {"NumpadAdd", 87}, {"NumpadEnter", 88}, {"NumpadDecimal", 99}, {"IntlBackslash", 100},
    {"ContextMenu", 101}, {"ControlLeft", 224}, {"ShiftLeft", 225}, {"AltLeft", 226},
    {"MetaLeft", 227}, {"ControlRight", 228}, {"ShiftRight", 229}, {"AltRight", 230},
    {"MetaRight", 231},
    // Older Firefox names the Windows keys so.
    {"OSLeft", 227}, {"OSRight", 231},
};

// The number after `prefix` in `code`, if that is all there is; else -1.
int numbered(const char *code, const char *prefix)
{
    size_t n = strlen(prefix);
    if (strncmp(code, prefix, n) != 0 || !code[n])
        return -1;
    int value = 0;
    for (const char *p = code + n; *p; ++p) {
        if (*p < '0' || *p > '9' || value > 99)
            return -1;
        value = value * 10 + (*p - '0');
    }
    return value;
}

}  // namespace

int web_key_usage(const char *code)
{
    if (!code)
        return 0;
    // KeyA .. KeyZ
    if (strncmp(code, "Key", 3) == 0 && code[3] >= 'A' && code[3] <= 'Z' && !code[4])
        return 4 + (code[3] - 'A');
    // Digit1 .. Digit9, then Digit0
    int digit = numbered(code, "Digit");
    if (digit >= 0 && digit <= 9)
        return digit == 0 ? 39 : 29 + digit;
    // Numpad1 .. Numpad9, then Numpad0
    int pad = numbered(code, "Numpad");
    if (pad >= 0 && pad <= 9)
        return pad == 0 ? 98 : 88 + pad;
    // F1 .. F12, then F13 .. F24
    int f = numbered(code, "F");
    if (f >= 1 && f <= 12)
        return 57 + f;
    if (f >= 13 && f <= 24)
        return 104 + (f - 13);
    for (const Code &c : named)
        if (strcmp(code, c.name) == 0)
            return c.usb;
    return 0;
}

}  // namespace compat
