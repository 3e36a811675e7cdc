// user32: physical keys to keyboard messages, and TranslateMessage's
// characters, for the US layout.
//
// A key is named by its USB HID usage (SDL's scancodes use the same numbers)
// and becomes a Windows virtual-key code, a set-1 scan code and the extended
// flag. Left out: other layouts, dead keys, IME, AltGr, and repeat counts
// above 1 (each auto-repeat is its own message, as under Wine).
#include "layer.h"

namespace compat {

struct KeyCode {
    BYTE vk;
    WORD scan;   // set-1 scan code; 0x100 marks an extended (E0) key
};

// Indexed by USB usage, 0 to 231; vk 0 is a key Windows has no code for.
static KeyCode key_code(int usb)
{
    static const BYTE letters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
                                     0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    if (usb >= 4 && usb <= 29)
        return {(BYTE)('A' + usb - 4), letters[usb - 4]};
    if (usb >= 30 && usb <= 38)
        return {(BYTE)('1' + usb - 30), (WORD)(0x02 + usb - 30)};
    if (usb >= 58 && usb <= 67)
        return {(BYTE)(VK_F1 + usb - 58), (WORD)(0x3B + usb - 58)};
    if (usb >= 104 && usb <= 114)   // F13 to F23
        return {(BYTE)(0x7C + usb - 104), (WORD)(0x64 + usb - 104)};

    switch (usb) {
    case 39: return {'0', 0x0B};
    case 40: return {VK_RETURN, 0x1C};
    case 41: return {VK_ESCAPE, 0x01};
    case 42: return {VK_BACK, 0x0E};
    case 43: return {VK_TAB, 0x0F};
    case 44: return {VK_SPACE, 0x39};
    case 45: return {0xBD, 0x0C};   // - VK_OEM_MINUS
    case 46: return {0xBB, 0x0D};   // = VK_OEM_PLUS
    case 47: return {0xDB, 0x1A};   // [ VK_OEM_4
    case 48: return {0xDD, 0x1B};   // ] VK_OEM_6
    case 49: return {0xDC, 0x2B};   // \ VK_OEM_5
    case 50: return {0xDC, 0x2B};   // the ISO key beside Enter
    case 51: return {0xBA, 0x27};   // ; VK_OEM_1
    case 52: return {0xDE, 0x28};   // ' VK_OEM_7
    case 53: return {0xC0, 0x29};   // ` VK_OEM_3
    case 54: return {0xBC, 0x33};   // , VK_OEM_COMMA
    case 55: return {0xBE, 0x34};   // . VK_OEM_PERIOD
    case 56: return {0xBF, 0x35};   // / VK_OEM_2
    case 57: return {VK_CAPITAL, 0x3A};
    case 68: return {0x7A, 0x57};   // F11
    case 69: return {VK_F12, 0x58};
    case 70: return {VK_SNAPSHOT, 0x137};
    case 71: return {VK_SCROLL, 0x46};
    case 72: return {VK_PAUSE, 0x45};
    case 73: return {VK_INSERT, 0x152};
    case 74: return {VK_HOME, 0x147};
    case 75: return {VK_PRIOR, 0x149};
    case 76: return {VK_DELETE, 0x153};
    case 77: return {VK_END, 0x14F};
    case 78: return {VK_NEXT, 0x151};
    case 79: return {VK_RIGHT, 0x14D};
    case 80: return {VK_LEFT, 0x14B};
    case 81: return {VK_DOWN, 0x150};
    case 82: return {VK_UP, 0x148};
    // NOTE: NumLock shares 0x45 with Pause and is the extended one of the two.
    case 83: return {VK_NUMLOCK, 0x145};
    case 84: return {VK_DIVIDE, 0x135};
    case 85: return {VK_MULTIPLY, 0x37};
    case 86: return {VK_SUBTRACT, 0x4A};
    case 87: return {VK_ADD, 0x4E};
    case 88: return {VK_RETURN, 0x11C};
    case 100: return {0xE2, 0x56};   // VK_OEM_102
    case 101: return {VK_APPS, 0x15D};
    case 115: return {0x87, 0x76};   // F24
    case 224: return {VK_CONTROL, 0x1D};
    case 225: return {VK_SHIFT, 0x2A};
    case 226: return {VK_MENU, 0x38};
    case 227: return {VK_LWIN, 0x15B};
    case 228: return {VK_CONTROL, 0x11D};
    case 229: return {VK_SHIFT, 0x36};
    case 230: return {VK_MENU, 0x138};
    case 231: return {VK_RWIN, 0x15C};
    }
    return {0, 0};
}

// The keypad gives digits with NumLock on and navigation keys with it off.
static KeyCode keypad_code(int usb, bool numlock)
{
    // KP1 .. KP9, KP0, KP. (usages 89 to 99)
    static const WORD scans[11] = {0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49, 0x52, 0x53};
    static const BYTE nav[11] = {VK_END, VK_DOWN, VK_NEXT, VK_LEFT, VK_CLEAR, VK_RIGHT,
                                 VK_HOME, VK_UP, VK_PRIOR, VK_INSERT, VK_DELETE};
    int i = usb - 89;
    if (!numlock)
        return {nav[i], scans[i]};
    BYTE vk = i < 9 ? (BYTE)(VK_NUMPAD0 + 1 + i) : i == 9 ? (BYTE)VK_NUMPAD0 : (BYTE)VK_DECIMAL;
    return {vk, scans[i]};
}

// NOTE: not inlined, so that its two callers share one copy in the page.
[[gnu::noinline]] bool press_key(BYTE *state, UINT vk, UINT scan, bool down)
{
    // NOTE: modifiers are sent as VK_SHIFT, VK_CONTROL and VK_MENU, but the
    // previous-state bit belongs to the left or right key itself, VK_LSHIFT
    // to VK_RMENU. The right one is extended, but for Shift's own scan code.
    UINT own = vk;
    if (vk >= VK_SHIFT && vk <= VK_MENU)
        own = 0xA0 + 2 * (vk - VK_SHIFT) + (scan == 0x36 || (scan & 0x100) ? 1 : 0);
    bool was_down = state[own] & 0x80;
    if (down && !was_down && (vk == VK_CAPITAL || vk == VK_NUMLOCK || vk == VK_SCROLL))
        state[vk] ^= 0x01;   // the toggle bit, as GetKeyState reports it
    state[own] = (BYTE)(down ? state[own] | 0x80 : state[own] & ~0x80);
    if (own != vk)   // the shared code is down while either side is
        state[vk] = (BYTE)((state[vk] & 0x01) | ((state[own & ~1] | state[own | 1]) & 0x80));
    return was_down;
}

bool translate_key(int usb, bool down, bool repeat, bool numlock, UINT *message, WPARAM *vk, LPARAM *lParam)
{
    KeyCode k = usb >= 89 && usb <= 99 ? keypad_code(usb, numlock) : key_code(usb);
    if (!k.vk)
        return false;

    Layer &l = layer();
    bool was_down = press_key(l.key_down, k.vk, k.scan, down);
    bool alt = l.key_down[VK_MENU] & 0x80;
    bool ctrl = l.key_down[VK_CONTROL] & 0x80;

    bool sys;
    if (k.vk == VK_MENU && !down) {
        // Alt's release is a system key only when nothing came since its press.
        sys = l.alt_alone;
        l.alt_alone = false;
    } else {
        sys = k.vk == VK_F10 || (alt && !ctrl);
        if (k.vk == VK_MENU && down && !repeat)
            l.alt_alone = !ctrl;
        else if (k.vk != VK_MENU)
            l.alt_alone = false;
    }

    DWORD flags = k.scan & 0xFF;
    if (k.scan & 0x100)
        flags |= KF_EXTENDED;
    if (sys && alt)
        flags |= KF_ALTDOWN;
    if (!down)
        flags |= KF_REPEAT | KF_UP;
    else if (was_down || repeat)
        flags |= KF_REPEAT;

    *message = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
    *vk = k.vk;
    *lParam = (LPARAM)(((DWORD)flags << 16) | 1);
    return true;
}

int key_char(UINT vk, LPARAM lParam)
{
    (void)lParam;
    const BYTE *state = layer().key_state;
    bool shift = state[VK_SHIFT] & 0x80;
    bool ctrl = state[VK_CONTROL] & 0x80;
    bool alt = state[VK_MENU] & 0x80;
    bool caps = state[VK_CAPITAL] & 0x01;
    if (ctrl && alt)   // AltGr territory: no character on the US layout
        return 0;

    if (vk >= 'A' && vk <= 'Z') {
        if (ctrl)
            return (int)(vk - 'A' + 1);
        return (shift != caps) ? (int)vk : (int)(vk - 'A' + 'a');
    }
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9)
        return (int)('0' + vk - VK_NUMPAD0);

    static const char digits_shifted[] = ")!@#$%^&*(";
    if (vk >= '0' && vk <= '9')
        return ctrl ? 0 : shift ? digits_shifted[vk - '0'] : (int)vk;

    struct Oem {
        BYTE vk;
        char plain, shifted;
    };
    static const Oem oem[] = {{0xBA, ';', ':'}, {0xBB, '=', '+'}, {0xBC, ',', '<'}, {0xBD, '-', '_'},
                              {0xBE, '.', '>'}, {0xBF, '/', '?'}, {0xC0, '`', '~'}, {0xDB, '[', '{'},
                              {0xDC, '\\', '|'}, {0xDD, ']', '}'}, {0xDE, '\'', '"'}, {0xE2, '\\', '|'}};
    for (const Oem &o : oem) {
        if (o.vk != vk)
            continue;
        if (ctrl)
            return vk == 0xDB ? 0x1B : vk == 0xDC ? 0x1C : vk == 0xDD ? 0x1D : 0;
        return shift ? o.shifted : o.plain;
    }

    switch (vk) {
    case VK_SPACE: return ' ';
    case VK_RETURN: return ctrl ? '\n' : '\r';
    case VK_BACK: return ctrl ? 0x7F : 0x08;
    case VK_TAB: return ctrl ? 0 : '\t';
    case VK_ESCAPE: return 0x1B;
    case VK_MULTIPLY: return '*';
    case VK_ADD: return '+';
    case VK_SUBTRACT: return '-';
    case VK_DECIMAL: return '.';
    case VK_DIVIDE: return '/';
    }
    return 0;
}

}  // namespace compat
