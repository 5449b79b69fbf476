// Xlib's headers for the X11 backend and its tests, included after the platform's own headers:
// Xlib defines macros with ordinary names, and those that clash with platform names go.
#pragma once

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>

#undef CursorShape  // a request code in X.h; the platform's cursor enum
