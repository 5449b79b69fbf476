// The toolkit's plain-text clipboard: 8-bit text, passed through unconverted, on the clipboard
// of the attached display (text boxes cut, copy and paste there too).
#pragma once

#include <cstdint>

namespace gk {

// A non-empty text replaces the clipboard's contents; a null or empty text does nothing.
void sendtoclipboard(const char* text);
// Copies at most size - 1 bytes of the clipboard's text into the buffer, terminates the copy
// and stores a terminator in the buffer's last byte; returns the bytes copied, 0 when the
// clipboard holds no text (or there is no room: null buffer, size < 1).
int32_t getfromclipboard(char* buffer, int32_t size);
// Length of the clipboard's text, 0 when it holds none.
int32_t getclipboardtextlength();

}  // namespace gk
