// Holds the benchmark's floor to the program: links the program's library and the floor's
// frame against a stand-in for GL, GLU and GLUT that records every call with the bits of its
// arguments, draws each view both ways and compares the two records call for call. It then
// prints a digest of the program's own surface calls; the benchmark, which cannot capture
// anything once it links the real GL, compares that digest with one of its own table and
// refuses to report on any difference.
#include "floor.h"
#include "gl_capture.h"
#include "render.h"
#include "surface.h"
#include "view_state.h"

#include <cinttypes>
#include <cstdio>
#include <vector>

namespace {

template <typename Draw> std::vector<CapturedCall> capture(Draw draw)
{
    capturedCalls().clear();
    draw();
    return capturedCalls();
}

bool sameStream(const std::vector<CapturedCall> &program, const std::vector<CapturedCall> &floor,
                const char *label)
{
    if (program == floor)
        return true;
    std::size_t i = 0;
    while (i < program.size() && i < floor.size() && program[i] == floor[i])
        ++i;
    std::fprintf(stderr, "%s: streams differ at call %zu of %zu (floor has %zu)", label, i,
                 program.size(), floor.size());
    if (i < program.size() && i < floor.size())
        std::fprintf(stderr, ": program %s, floor %s", capturedFunctionName(program[i].function),
                     capturedFunctionName(floor[i].function));
    std::fprintf(stderr, "\n");
    return false;
}

std::uint64_t surfaceDigest(const std::vector<CapturedCall> &calls)
{
    StreamDigest digest;
    for (const CapturedCall &call : calls) {
        const float x = capturedFloat(call.args[0]);
        const float y = capturedFloat(call.args[1]);
        const float z = capturedFloat(call.args[2]);
        switch (call.function) {
        case kBegin:
            digest.begin(static_cast<GLenum>(call.args[0]));
            break;
        case kEnd:
            digest.end();
            break;
        case kNormal3f:
            digest.normal(x, y, z);
            break;
        case kVertex3f:
            digest.vertex(x, y, z);
            break;
        default:
            break;
        }
    }
    return digest.value();
}

} // namespace

int main()
{
    // Angles with fractions and signs, so a slip in any rotation or in the light's place shows.
    const float angles[][4] = {{30.0f, 0.0f, 0.0f, 0.0f}, {-12.5f, 97.0f, 3.25f, 361.0f}};
    bool ok = true;
    std::size_t compared = 0;
    for (int displaced = 0; displaced <= 1; ++displaced) {
        const FloorSurface surface = makeFloorSurface(displaced != 0);
        for (int filled = 0; filled <= 1; ++filled) {
            for (const auto &angle : angles) {
                ViewState view = initialViewState;
                view.rotX = angle[0];
                view.rotY = angle[1];
                view.rotZ = angle[2];
                view.lightAngle = angle[3];
                view.filled = filled;
                view.displaced = displaced;
                viewState = view;
                const std::vector<CapturedCall> program = capture(display);
                const std::vector<CapturedCall> floor =
                    capture([&] { drawFloorFrame(surface, view); });
                char label[64];
                std::snprintf(label, sizeof label, "displaced %d, filled %d, light %g", displaced,
                              filled, static_cast<double>(angle[3]));
                ok = sameStream(program, floor, label) && ok;
                compared += program.size();
            }
        }

        const std::vector<CapturedCall> own =
            capture(displaced ? drawDisplacedSurface : drawBumpedSurface);
        const std::uint64_t digest = surfaceDigest(own);
        if (digest != floorDigest(surface)) {
            std::fprintf(stderr, "the floor's digest differs from the program's surface\n");
            ok = false;
        }
        std::printf("digest %s %016" PRIx64 "\n", displaced ? "displaced" : "bumped", digest);
    }
    std::printf("floor check: %s, %zu calls compared\n", ok ? "passed" : "FAILED", compared);
    return ok ? 0 : 1;
}
