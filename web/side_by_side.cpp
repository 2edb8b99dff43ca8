// The page's side-by-side view: both patches drawn in one frame from the one
// view state, each by the program's own display into its own 450 x 300 part of
// the canvas, so that each half is the picture the desktop window shows for
// that patch. The half drawn first (left, or top) is the patch that the single
// view shows; the other is the other patch. Space therefore swaps the halves.

#include "render.h"
#include "view_state.h"

#include <GL/gl.h>
#include <GL/glut.h>
#include <emscripten/emscripten.h>

namespace {

constexpr int halfWidth = 450;
constexpr int halfHeight = 300;

enum Layout : unsigned char { single = 0, sideBySide = 1, stacked = 2 };

Layout layout = single;

void displayBoth()
{
    const int shown = viewState.displaced;
    // Both halves share the window's projection, whatever the canvas's size.
    reshape(halfWidth, halfHeight);
    glEnable(GL_SCISSOR_TEST);
    for (int half = 0; half < 2; ++half) {
        // GL counts rows from the bottom: the first half of a stacked
        // canvas is its upper one.
        const int x = layout == sideBySide ? half * halfWidth : 0;
        const int y = layout == stacked ? (1 - half) * halfHeight : 0;
        glViewport(x, y, halfWidth, halfHeight);
        glScissor(x, y, halfWidth, halfHeight);
        viewState.displaced = half == 0 ? shown : 1 - shown;
        display();
    }
    viewState.displaced = shown;
    glDisable(GL_SCISSOR_TEST);
}

} // namespace

// Called by the page after it has sized the canvas for the view: 450 x 300
// for one patch (0), 900 x 300 for both side by side (1), 450 x 600 for both
// one above the other (2).
extern "C" EMSCRIPTEN_KEEPALIVE void webSetLayout(int requested)
{
    layout =
        requested == sideBySide || requested == stacked ? static_cast<Layout>(requested) : single;
    if (layout == single) {
        glutDisplayFunc(display);
        reshape(halfWidth, halfHeight);
    } else {
        glutDisplayFunc(displayBoth);
    }
    glutPostRedisplay();
}

// The patch drawn first, for the page's labels: 1 displaced, 0 bumped.
extern "C" EMSCRIPTEN_KEEPALIVE int webFirstDisplaced(void) { return viewState.displaced; }
