// Message numbers, style bits and codes of the window system.
//
// The numeric values are part of the toolkit's interface (mouse message kinds 512..526 are
// arguments of the mouse functions, private messages count from kMsgUser), so they follow the
// classic desktop numbering that programs written for such a toolkit expect.
#pragma once

#include <cstdint>

#include "platform/gfx/geometry.hpp"

namespace platform {

using Hwnd = uint64_t;  // window handle; 0 = none; never reused within a process

// Bounding box of two rectangles; an empty operand is ignored.
Rect unite(const Rect& a, const Rect& b);

struct Message {
  Hwnd hwnd = 0;
  uint32_t message = 0;
  uint64_t wparam = 0;
  int64_t lparam = 0;
  int64_t time = 0;  // milliseconds, of input messages
};

// clang-format off
enum : uint32_t {
  kMsgNull           = 0x0000,
  kMsgDestroy        = 0x0002,
  kMsgSize           = 0x0005,
  kMsgActivate       = 0x0006,
  kMsgSetFocus       = 0x0007,
  kMsgKillFocus      = 0x0008,
  kMsgEnable         = 0x000A,
  kMsgSetText        = 0x000C,  // lparam: const char* (UTF-8)
  kMsgGetText        = 0x000D,  // wparam: buffer bytes, lparam: char*; bytes copied (UTF-8)
  kMsgGetTextLength  = 0x000E,  // bytes of the UTF-8 text
  kMsgPaint          = 0x000F,
  kMsgClose          = 0x0010,
  kMsgQuit           = 0x0012,
  kMsgCancelMode     = 0x001F,  // close open menus
  kMsgSetCursor      = 0x0020,  // wparam: CursorShape shown over the window
  kMsgShowWindow     = 0x0018,
  kMsgSetFont        = 0x0030,  // wparam: const std::shared_ptr<const Font>* (null: default)
  kMsgGetFont        = 0x0031,
  kMsgGetMinMaxInfo  = 0x0024,  // lparam: MinMaxInfo*
  kMsgSetIcon        = 0x0080,
  kMsgNcHitTest      = 0x0084,  // lparam: packed screen point
  kMsgGetDlgCode     = 0x0087,  // what keys a control wants (kDlgCode*)
  kMsgNcLButtonDown  = 0x00A1,  // wparam: hit-test code
  kMsgNcLButtonUp    = 0x00A2,
  kMsgKeyDown        = 0x0100,  // wparam: virtual key; lparam: kKey*Held, character << 32
  kMsgKeyUp          = 0x0101,
  kMsgChar           = 0x0102,  // wparam: the character typed (a code point)
  kMsgCommand        = 0x0111,
  kMsgSysCommand     = 0x0112,  // wparam: kSc*
  kMsgHScroll        = 0x0114,
  kMsgVScroll        = 0x0115,
  kMsgCtlColorStatic = 0x0138,  // wparam: DeviceContext* of the control's paint, lparam: the
                                // control; a const Brush* the parent keeps through the paint
                                // (0: the face colour); see parent_background.hpp
  kMsgSbmSetPos      = 0x00E0,  // scroll bar: wparam position, lparam redraw
  kMsgSbmGetPos      = 0x00E1,
  kMsgSbmSetRange    = 0x00E2,  // wparam minimum, lparam maximum
  kMsgSbmGetRange    = 0x00E3,  // wparam int32_t* minimum, lparam int32_t* maximum
  kMsgSbmSetRangeRedraw = 0x00E6,
  kMsgSbmSetScrollInfo  = 0x00E9,  // wparam redraw, lparam ScrollInfo*
  kMsgSbmGetScrollInfo  = 0x00EA,  // lparam ScrollInfo*
  kMsgEmGetSel       = 0x00B0,  // wparam, lparam: int32_t* start, end (either may be null)
  kMsgEmSetSel       = 0x00B1,  // wparam start (-1: no selection), lparam end (-1: the end)
  kMsgEmScrollCaret  = 0x00B7,
  kMsgEmGetLineCount = 0x00BA,
  kMsgEmLineIndex    = 0x00BB,  // wparam line (-1: the caret's); its first position, -1
  kMsgEmReplaceSel   = 0x00C2,  // lparam: const char* (UTF-8)
  kMsgEmLimitText    = 0x00C5,  // wparam: limit in UTF-16 units (0: the largest)
  kMsgEmLineFromChar = 0x00C9,  // wparam position (-1: the selection's start)
  kMsgEmSetReadOnly  = 0x00CF,
  kMsgEmGetLimitText = 0x00D5,
  kMsgEmGetFirstVisibleLine = 0x00CE,  // the first row shown (one-line: first position shown)
  kMsgEmSetCueBanner = 0x1501,  // lparam: const char* (UTF-8)
  kMsgCbAddString    = 0x0143,  // drop-down lists: as the list-box requests below
  kMsgCbDeleteString = 0x0144,
  kMsgCbGetCount     = 0x0146,
  kMsgCbGetCurSel    = 0x0147,
  kMsgCbGetLbText    = 0x0148,
  kMsgCbGetLbTextLen = 0x0149,
  kMsgCbInsertString = 0x014A,
  kMsgCbResetContent = 0x014B,
  kMsgCbSetCurSel    = 0x014E,
  kMsgCbShowDropDown = 0x014F,  // wparam: open
  kMsgCbGetDroppedState = 0x0157,
  kMsgLbAddString    = 0x0180,  // lparam: const char* (UTF-8); the index
  kMsgLbInsertString = 0x0181,  // wparam index (-1: append), lparam text; the index or -1
  kMsgLbDeleteString = 0x0182,  // wparam index; the entries left or -1
  kMsgLbResetContent = 0x0184,
  kMsgLbSetCurSel    = 0x0186,  // wparam index (-1: none); not told to the parent
  kMsgLbGetCurSel    = 0x0188,
  kMsgLbGetText      = 0x0189,  // wparam index, lparam std::string*; UTF-16 length or -1
  kMsgLbGetTextLen   = 0x018A,
  kMsgLbGetCount     = 0x018B,
  kMsgLbGetTopIndex  = 0x018E,  // the first entry shown
  kMsgBmGetCheck     = 0x00F0,
  kMsgBmSetCheck     = 0x00F1,  // wparam: kBstUnchecked or kBstChecked
  kMsgBmGetState     = 0x00F2,
  kMsgBmSetState     = 0x00F3,  // wparam: pressed
  kMsgBmSetStyle     = 0x00F4,
  kMsgBmClick        = 0x00F5,
  kMsgMouseFirst     = 0x0200,  // 512: mouse move
  kMsgMouseMove      = 0x0200,
  kMsgLButtonDown    = 0x0201,
  kMsgLButtonUp      = 0x0202,
  kMsgLButtonDblClk  = 0x0203,
  kMsgRButtonDown    = 0x0204,
  kMsgRButtonUp      = 0x0205,
  kMsgRButtonDblClk  = 0x0206,
  kMsgMButtonDown    = 0x0207,
  kMsgMButtonUp      = 0x0208,
  kMsgMButtonDblClk  = 0x0209,
  kMsgMouseWheel     = 0x020A,
  kMsgXButtonDown    = 0x020B,
  kMsgXButtonUp      = 0x020C,
  kMsgXButtonDblClk  = 0x020D,
  kMsgMouseHWheel    = 0x020E,
  kMsgMouseLast      = 0x020E,  // 526
  kMsgUser           = 0x0400,  // first private message number (1024)
  kMsgSizeRequest    = 0x7FFD,  // internal: the user resized the window (lparam: client size;
                                // wparam 1: the display already did)
  kMsgSync           = 0x7FFE,  // internal: posted marker that signals an Event (lparam)
};

// Window styles.
enum : uint32_t {
  kStylePopup        = 0x80000000u,
  kStyleChild        = 0x40000000u,
  kStyleMinimize     = 0x20000000u,
  kStyleVisible      = 0x10000000u,
  kStyleDisabled     = 0x08000000u,
  kStyleClipChildren = 0x02000000u,
  kStyleMaximize     = 0x01000000u,
  kStyleCaption      = 0x00C00000u,  // border + dialog frame
  kStyleBorder       = 0x00800000u,
  kStyleDlgFrame     = 0x00400000u,
  kStyleVScroll      = 0x00200000u,
  kStyleHScroll      = 0x00100000u,
  kStyleSysMenu      = 0x00080000u,
  kStyleThickFrame   = 0x00040000u,
  kStyleMinimizeBox  = 0x00020000u,
  kStyleMaximizeBox  = 0x00010000u,
  // The same two bits mean something else on child windows (controls):
  kStyleGroup        = 0x00020000u,  // first control of a group (radio buttons, Tab order)
  kStyleTabStop      = 0x00010000u,  // Tab stops at the control
};

// Styles of the built-in control classes (low 16 bits of the style).
inline constexpr uint32_t kBsPushButton = 0x0;
inline constexpr uint32_t kBsDefPushButton = 0x1;
inline constexpr uint32_t kBsCheckBox = 0x2;
inline constexpr uint32_t kBsAutoCheckBox = 0x3;
inline constexpr uint32_t kBsRadioButton = 0x4;
inline constexpr uint32_t kBsGroupBox = 0x7;
inline constexpr uint32_t kBsAutoRadioButton = 0x9;
inline constexpr uint32_t kBsTypeMask = 0xF;
inline constexpr uint32_t kSbsHorz = 0x0;
inline constexpr uint32_t kSbsVert = 0x1;
inline constexpr uint32_t kEsLeft = 0x0;
inline constexpr uint32_t kEsCenter = 0x1;
inline constexpr uint32_t kEsRight = 0x2;
inline constexpr uint32_t kEsMultiline = 0x4;
inline constexpr uint32_t kEsPassword = 0x20;
inline constexpr uint32_t kEsAutoHScroll = 0x80;
inline constexpr uint32_t kEsReadOnly = 0x800;
inline constexpr uint32_t kLbsNotify = 0x1;
inline constexpr uint32_t kCbsDropDownList = 0x3;
inline constexpr uint32_t kSsLeft = 0x0;
inline constexpr uint32_t kSsCenter = 0x1;
inline constexpr uint32_t kSsRight = 0x2;

// Modifier keys held when a key was pressed, in the lparam of kMsgKeyDown and kMsgKeyUp.
inline constexpr int64_t kKeyShiftHeld = int64_t{1} << 16;
inline constexpr int64_t kKeyControlHeld = int64_t{1} << 17;
inline constexpr int64_t kKeyAltHeld = int64_t{1} << 29;

// Button states (kMsgBmGetCheck, kMsgBmGetState).
enum : uint32_t {
  kBstUnchecked = 0x0,
  kBstChecked   = 0x1,
  kBstPushed    = 0x4,
  kBstFocus     = 0x8,
};

// Notification codes, in the high word of kMsgCommand's wparam (lparam: the control).
enum : uint32_t {
  kBnClicked = 0,
  kLbnSelChange = 1,  // list boxes and drop-down lists: the user selected an entry
  kLbnDblClk = 2,     // list boxes: the user double-clicked an entry
  kEnChange = 0x300,  // text fields: the user changed the text
};

// Scroll requests, in the low word of kMsgHScroll/kMsgVScroll's wparam (the high word holds
// the tracking position for kSbThumbTrack and kSbThumbPosition; lparam: the scroll bar).
enum : uint32_t {
  kSbLineUp        = 0,
  kSbLineDown      = 1,
  kSbPageUp        = 2,
  kSbPageDown      = 3,
  kSbThumbPosition = 4,
  kSbThumbTrack    = 5,
  kSbTop           = 6,
  kSbBottom        = 7,
  kSbEndScroll     = 8,
};

// What a control answers to kMsgGetDlgCode.
enum : uint32_t {
  kDlgCodeButton        = 0x2000,
  kDlgCodeDefPushButton = 0x0010,
  kDlgCodeRadioButton   = 0x0040,
  kDlgCodeWantArrows    = 0x0001,
  kDlgCodeWantAllKeys   = 0x0004,
  kDlgCodeHasSetSel     = 0x0008,
  kDlgCodeWantChars     = 0x0080,
};

// Class styles.
enum : uint32_t {
  kClassDblClks  = 0x0008,  // the class's windows receive double-click messages
  kClassSaveBits = 0x0800,
};

// System commands (wparam of kMsgSysCommand).
enum : uint32_t {
  kScMinimize = 0xF020,
  kScMaximize = 0xF030,
  kScClose    = 0xF060,
  kScRestore  = 0xF120,
};

// Kinds of kMsgSize (wparam).
enum : uint32_t {
  kSizeRestored  = 0,
  kSizeMinimized = 1,
  kSizeMaximized = 2,
};

// Hit-test results of kMsgNcHitTest.
enum : int32_t {
  kHitNowhere     = 0,
  kHitClient      = 1,
  kHitCaption     = 2,
  kHitSysMenu     = 3,
  kHitMenu        = 5,
  kHitMinButton   = 8,
  kHitMaxButton   = 9,
  kHitLeft        = 10,
  kHitRight       = 11,
  kHitTop         = 12,
  kHitTopLeft     = 13,
  kHitTopRight    = 14,
  kHitBottom      = 15,
  kHitBottomLeft  = 16,
  kHitBottomRight = 17,
  kHitBorder      = 18,
  kHitClose       = 20,
};

// Virtual keys the platform translates or the toolkit reads.
enum : uint32_t {
  kVkBack   = 0x08,
  kVkF4     = 0x73,
  kVkTab    = 0x09,
  kVkClear  = 0x0C,
  kVkReturn = 0x0D,
  kVkEscape = 0x1B,
  kVkShift  = 0x10,
  kVkControl = 0x11,
  kVkMenu   = 0x12,  // Alt
  kVkSpace  = 0x20,
  kVkPrior  = 0x21,
  kVkNext   = 0x22,
  kVkEnd    = 0x23,
  kVkHome   = 0x24,
  kVkLeft   = 0x25,
  kVkUp     = 0x26,
  kVkRight  = 0x27,
  kVkDown   = 0x28,
  kVkInsert = 0x2D,
  kVkDelete = 0x2E,
  kVkF1     = 0x70,
  kVkF10    = 0x79,
  kVkF12    = 0x7B,
};
// clang-format on

// Packs a point into an lparam as two signed 16-bit words (x low, y high).
constexpr int64_t pack_point(int32_t x, int32_t y) {
  return static_cast<int64_t>((static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16) |
                              static_cast<uint16_t>(x));
}
constexpr int32_t point_x(int64_t lparam) { return static_cast<int16_t>(lparam & 0xFFFF); }
constexpr int32_t point_y(int64_t lparam) { return static_cast<int16_t>((lparam >> 16) & 0xFFFF); }

// The scroll state of a scroll bar (kMsgSbmSetScrollInfo / kMsgSbmGetScrollInfo); `mask` says
// which fields are set or wanted.
enum : uint32_t { kSifRange = 0x1, kSifPage = 0x2, kSifPos = 0x4, kSifTrackPos = 0x10 };
struct ScrollInfo {
  uint32_t mask = 0;
  int32_t min = 0, max = 0;
  uint32_t page = 0;
  int32_t pos = 0;
  int32_t track_pos = 0;
};

// The tracking limits a window may be resized within (answer of kMsgGetMinMaxInfo).
struct MinMaxInfo {
  Point max_size;      // size of the maximised frame
  Point max_position;  // position of the maximised frame
  Point min_track;     // smallest frame a resize may give
  Point max_track;     // largest frame a resize may give
};

}  // namespace platform
