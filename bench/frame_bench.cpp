// Frame times in the program's own 450 × 300 window, run by Google Benchmark: for each of the
// four views the program's display() and a floor that sends the very same GL calls from values
// worked out before timing, and the light's orbit under the program's idle callback. Each
// repetition is one frame whose clock stops after glFinish, and the runner interleaves the
// repetitions of all of them at random. Nothing runs unless the floor check passes.
#include "controls.h"
#include "floor.h"
#include "render.h"
#include "spread.h"
#include "view_state.h"

#include <GL/freeglut.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The check runs as its own program because it links a recording stand-in where this one
// links the real GL. Its digests come from the program's own surface calls.
bool floorCheckPasses(const FloorSurface &bumped, const FloorSurface &displaced)
{
    FILE *pipe = popen("'" BUMPMAP_FLOOR_CHECK "'", "r");
    if (!pipe) {
        std::fprintf(stderr, "cannot run the floor check %s\n", BUMPMAP_FLOOR_CHECK);
        return false;
    }
    std::uint64_t bumpedDigest = 0;
    std::uint64_t displacedDigest = 0;
    bool passed = false;
    char line[256];
    while (std::fgets(line, sizeof line, pipe)) {
        std::uint64_t digest = 0;
        if (std::sscanf(line, "digest bumped %" SCNx64, &digest) == 1)
            bumpedDigest = digest;
        else if (std::sscanf(line, "digest displaced %" SCNx64, &digest) == 1)
            displacedDigest = digest;
        else if (std::strncmp(line, "floor check: passed", 19) == 0)
            passed = true;
    }
    const int status = pclose(pipe);
    if (status != 0 || !passed) {
        std::fprintf(stderr, "the floor check failed (status %d)\n", status);
        return false;
    }
    if (bumpedDigest != floorDigest(bumped) || displacedDigest != floorDigest(displaced)) {
        std::fprintf(stderr, "the floor's tables differ from the program's surfaces\n");
        return false;
    }
    return true;
}

// One frame a repetition, timed to the point where GL has finished it.
template <typename Draw> void timeFrames(benchmark::State &state, Draw draw)
{
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores): the loop's idiom
        const auto start = std::chrono::steady_clock::now();
        draw();
        glFinish();
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    // Each surface is 100 strips of 501 columns, two vertices a column.
    state.counters["fps"] = benchmark::Counter(1.0, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["vertices/s"] =
        benchmark::Counter(100200.0, benchmark::Counter::kIsIterationInvariantRate);
}

void frameBench(benchmark::State &state, ViewState view)
{
    viewState = view;
    timeFrames(state, display);
}

void floorBench(benchmark::State &state, ViewState view, const FloorSurface *surface)
{
    timeFrames(state, [&] { drawFloorFrame(*surface, view); });
}

// glutMainLoop deinitialises freeglut when it returns, so the runner could enter it only once.
// The orbit turns the loop the way glutMainLoop does instead: the idle callback, which moves
// the light and posts a redisplay, then one pass of GLUT's events, which draws the frame.
ViewState orbitView = initialViewState;
long framesDrawn = 0;

void countedDisplay()
{
    display();
    ++framesDrawn;
}

void orbitBench(benchmark::State &state)
{
    viewState = orbitView;
    const long before = framesDrawn;
    timeFrames(state, [] {
        idle();
        glutMainLoopEvent();
    });
    orbitView = viewState;
    if (framesDrawn - before < state.iterations())
        state.SkipWithError("the main loop did not draw a frame on every turn");
}

void openWindow()
{
    // The program's window, set up as main() does.
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(450, 300);
    glutInitWindowPosition(50, 50);
    glutCreateWindow("Bump mapping");
    initLighting();
    glutDisplayFunc(countedDisplay);
    glutReshapeFunc(reshape);
    // Until the window is mapped and has had its first reshape and expose.
    for (int i = 0; i < 10; ++i)
        glutMainLoopEvent();
    reshape(450, 300);
}

} // namespace

int main(int argc, char **argv)
{
    // The runner's defaults come first so that the command line overrides them: 300
    // repetitions of each benchmark, one frame each after 0.3 s of warm-up, interleaved at
    // random, and only their statistics reported.
    char repetitions[] = "--benchmark_repetitions=300";
    char oneFrame[] = "--benchmark_min_time=0";
    char warmUp[] = "--benchmark_min_warmup_time=0.3";
    char interleaving[] = "--benchmark_enable_random_interleaving=true";
    char statistics[] = "--benchmark_report_aggregates_only=true";
    std::vector<char *> args{argv[0], repetitions, oneFrame, warmUp, interleaving, statistics};
    args.insert(args.end(), argv + 1, argv + argc);
    args.push_back(nullptr);
    int count = static_cast<int>(args.size()) - 1;
    benchmark::Initialize(&count, args.data());
    glutInit(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 2;
    openWindow();

    const FloorSurface bumped = makeFloorSurface(false);
    const FloorSurface displaced = makeFloorSurface(true);
    if (!floorCheckPasses(bumped, displaced)) {
        std::fprintf(stderr, "no report: the floor does not send the program's calls\n");
        return 1;
    }
    benchmark::AddCustomContext("floor_check", "passed");
    benchmark::AddCustomContext("renderer",
                                reinterpret_cast<const char *>(glGetString(GL_RENDERER)));
    benchmark::AddCustomContext("gl_version",
                                reinterpret_cast<const char *>(glGetString(GL_VERSION)));

    const auto repeated = [](benchmark::internal::Benchmark *bench) {
        withSpread(bench->Unit(benchmark::kMillisecond)->UseManualTime());
    };
    const char *names[] = {"bumped_filled", "bumped_wireframe", "displaced_filled",
                           "displaced_wireframe"};
    for (int i = 0; i < 4; ++i) {
        ViewState view = initialViewState;
        view.displaced = i / 2;
        view.filled = 1 - i % 2;
        const FloorSurface *surface = view.displaced ? &displaced : &bumped;
        const std::string name = names[i];
        repeated(benchmark::RegisterBenchmark(("frame/" + name).c_str(), frameBench, view));
        repeated(
            benchmark::RegisterBenchmark(("floor/" + name).c_str(), floorBench, view, surface));
    }
    orbitView.animating = 1;
    repeated(benchmark::RegisterBenchmark("orbit/bumped_filled", orbitBench));

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
