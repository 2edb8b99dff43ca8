// What the page calls in the program: the keys, by what they mean, and its end.
//
// The program's key callbacks are kept here, not by Emscripten's GLUT, whose
// table of DOM key codes differs from browser to browser and from layout to
// layout (Firefox's '+' is 61, a German '+' key is '=' to it). The page reads
// the character or the named key itself and hands it over (shell.html), so
// Emscripten's GLUT never sees a key.

#include <GL/glut.h>
#include <emscripten/emscripten.h>

namespace {

void (*keyboardCallback)(unsigned char, int, int) = nullptr;
void (*specialCallback)(int, int, int) = nullptr;

} // namespace

void glutKeyboardFunc(void (*callback)(unsigned char, int, int)) { keyboardCallback = callback; }

void glutSpecialFunc(void (*callback)(int, int, int)) { specialCallback = callback; }

// A key that gives a character: its code, as GLUT passes it (Return 13,
// Escape 27, space 32, '+' 43, ...). The program ignores the pointer's place.
extern "C" EMSCRIPTEN_KEEPALIVE void webKey(int character)
{
    if (keyboardCallback != nullptr)
        keyboardCallback(static_cast<unsigned char>(character), 0, 0);
}

// A named key as GLUT's special-key code (GLUT_KEY_LEFT, ...).
extern "C" EMSCRIPTEN_KEEPALIVE void webSpecialKey(int key)
{
    if (specialCallback != nullptr)
        specialCallback(key, 0, 0);
}

// Once the C library's exit has ended the program: a browser tab cannot
// close, so the page stops the orbit and shows that the demo has ended.
extern "C" EMSCRIPTEN_KEEPALIVE void webEnd(void) { glutIdleFunc(nullptr); }
