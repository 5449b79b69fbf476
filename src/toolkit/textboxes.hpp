// Text boxes, list boxes and drop-down lists of a toolkit window.
//
// Text boxes are controls of the "EDIT" kind: one-line (Enter runs the box's Enter callback
// on a new callback thread and types nothing) or multi-line (Enter makes a new line). List
// boxes ("LISTBOX") and drop-down lists ("COMBOBOX") hold text entries; the callback of one
// runs when the user selects an entry, never when the program does. Text goes in and comes
// out as the toolkit's text (UTF-8 unless the process uses the ANSI code page); every copy
// into a caller's buffer is bounded by its length and terminated.
//
// Ids are global control ids (controls.hpp). Every function acts on the current window and
// runs on its window thread; an unknown id does nothing or answers -1.
#pragma once

#include <cstdint>

#include "toolkit/gk_record.hpp"

namespace gk {

// Styles of the creation requests.
inline constexpr uint32_t kOneLineStyle = 0x80;              // automatic horizontal scroll
inline constexpr uint32_t kMultiLineWrapStyle = 0x201044;    // v-scroll, multi-line
inline constexpr uint32_t kMultiLineNoWrapStyle = 0x3010C4;  // also h-scroll
inline constexpr uint32_t kListBoxStyle = 0x41;              // notify, has strings
inline constexpr uint32_t kDropDownListStyle = 0x203;        // drop-down list, has strings
inline constexpr int32_t kNumberTextMax = 63;                // bytes read as a number

int32_t createtextbox(int32_t left, int32_t top, int32_t width, int32_t height);
int32_t createmultilinetextbox(
    int32_t left, int32_t top, int32_t width, int32_t height, int32_t wrap);
int32_t createtextboxgeneric(
    WindowData& record, int32_t left, int32_t top, int32_t width, int32_t height, uint32_t style);
void removetextbox(int32_t id);
int32_t gettextboxlength(int32_t id);  // bytes of the text
// At most length - 1 bytes of the text and a NUL; the bytes copied. With no buffer or length
// 0 the text's length.
int32_t gettextboxcontents(int32_t id, char* buffer, int32_t length);
int32_t gettextboxinteger(int32_t id);  // the leading decimal number, 0 when none
double gettextboxdouble(int32_t id);
void settextboxcontents(int32_t id, const char* text);  // null: empty
void settextboxinteger(int32_t id, int32_t n);          // "%d"
void settextboxdouble(int32_t id, double x);            // "%f", all of it
void inserttextboxtext(int32_t id, const char* text);   // replaces the selection
void deletetextboxselection(int32_t id);
// The selected text: 0 when nothing is selected; otherwise its bytes plus 1, or `length` when
// that is smaller (the copy is cut to length - 1 bytes and terminated); length 0 answers the
// number alone.
int32_t gettextboxselection(int32_t id, char* buffer, int32_t length);
int32_t gettextboxselectionlength(int32_t id);
int32_t gettextboxcursorposition(int32_t id);  // start of the selection
int32_t gettextboxlinefromposition(int32_t id, int32_t position);
int32_t gettextboxcurrentline(int32_t id);
int32_t gettextboxpositionfromline(int32_t id, int32_t line);
void settextboxcursorposition(int32_t id, int32_t position);
int32_t textboxselect(int32_t id, int32_t count);  // from the selection's start; its end
int32_t settextboxfocused(int32_t id);
void settextboxcue(int32_t id, const char* text);
void settextboxentercallback(int32_t id, Callback callback);
void settextboxentercallback_ptr(int32_t id, const Callback* callback);
void enabletextbox(int32_t id, int32_t flag);
void settextboxeditable(int32_t id, int32_t flag);  // 0 read-only, 1 editable

// List boxes.
int32_t createlistbox(int32_t left, int32_t top, int32_t width, int32_t height, Callback callback);
int32_t createlistbox_ptr(
    int32_t left, int32_t top, int32_t width, int32_t height, const Callback* callback);
void removelistbox(int32_t id);
// The index the entry was inserted at (position -1 appends), -1 for an unknown id, a null text
// or a position beyond the end.
int32_t insertlistboxentry(int32_t id, int32_t position, const char* text);
int32_t removelistboxentry(int32_t id, int32_t index);  // entries left, or -1
void setlistboxselection(int32_t id, int32_t index);    // -1 clears
int32_t getlistboxselection(int32_t id);                // -1 when none
int32_t getlistboxlength(int32_t id);
void clearlistboxentries(int32_t id);
// An entry's text: with S its bytes + 2, when S < length the text, its NUL and one more zero
// byte are copied and the answer is S - 1; otherwise -2 (buffer too small), or -1 for a length
// below 1, no buffer or no such entry.
int32_t getlistboxtext(int32_t id, int32_t index, char* buffer, int32_t length);

// Drop-down lists: the same contracts; inserting the first entry selects it.
int32_t createdropdownlist(
    int32_t left, int32_t top, int32_t width, int32_t height, Callback callback);
int32_t createdropdownlist_ptr(
    int32_t left, int32_t top, int32_t width, int32_t height, const Callback* callback);
void removedropdownlist(int32_t id);
int32_t insertdropdownlistentry(int32_t id, int32_t position, const char* text);
int32_t removedropdownlistentry(int32_t id, int32_t index);
void setdropdownlistselection(int32_t id, int32_t index);
int32_t getdropdownlistselection(int32_t id);
int32_t getdropdownlistlength(int32_t id);
void cleardropdownlistentries(int32_t id);
int32_t getdropdownlisttext(int32_t id, int32_t index, char* buffer, int32_t length);

}  // namespace gk
