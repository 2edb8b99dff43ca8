// What the page calls in the program once the C library's exit has ended it:
// a browser tab cannot close, so the page stops the orbit and shows that the
// demo has ended.

#include <GL/glut.h>
#include <emscripten/emscripten.h>

extern "C" EMSCRIPTEN_KEEPALIVE void webEnd(void) { glutIdleFunc(nullptr); }
