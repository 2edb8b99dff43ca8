// Frame times of the program's own display() beside a floor that sends the very same GL calls
// from values worked out before timing, for each of the four views; then the frame rate of
// the real main loop while the idle callback circles the light. Prints a Markdown table and
// writes the figures as JSON.
#include "controls.h"
#include "floor.h"
#include "render.h"
#include "view_state.h"

#include <GL/freeglut.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kVerticesPerSurface = 100.0 * 501.0 * 2.0;

struct Options {
    int frames = 300;
    int warmup = 30;
    int orbitFrames = 1000;
    std::string mathJson;
    std::string outJson;
    std::string commit = "unknown";
    std::string check = BUMPMAP_FLOOR_CHECK;
};

struct Spread {
    double median = 0.0, p10 = 0.0, p90 = 0.0;
};

struct ViewResult {
    const char *name;
    Spread frame, floor, math;
    bool haveMath = false;
};

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const double at = p * static_cast<double>(values.size() - 1);
    const auto low = static_cast<std::size_t>(at);
    const std::size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (values[high] - values[low]) * (at - static_cast<double>(low));
}

Spread spreadOf(const std::vector<double> &ms)
{
    return {percentile(ms, 0.5), percentile(ms, 0.1), percentile(ms, 0.9)};
}

// One frame to the point where GL has finished it, in milliseconds.
template <typename Draw> double timeFrame(Draw draw)
{
    const Clock::time_point start = Clock::now();
    draw();
    glFinish();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The check runs as its own program because it links a recording stand-in where this one
// links the real GL. Its digests come from the program's own surface calls.
bool floorCheckPasses(const std::string &check, const FloorSurface &bumped,
                      const FloorSurface &displaced)
{
    FILE *pipe = popen(check.c_str(), "r");
    if (!pipe) {
        std::fprintf(stderr, "cannot run the floor check %s\n", check.c_str());
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

// Google Benchmark's JSON, read just far enough to find the aggregates' real times. Names carry
// the run's settings ("surface/bumped/min_time:0.200/repeats:15_median"), so match the ends.
bool mathSpread(const std::string &json, bool displaced, Spread &spread)
{
    const std::string base = displaced ? "surface/displaced" : "surface/bumped";
    const auto figure = [&](const std::string &statistic, double &ms) {
        const std::string key = "\"name\": \"" + base;
        const std::string suffix = "_" + statistic;
        for (std::size_t at = json.find(key); at != std::string::npos;
             at = json.find(key, at + 1)) {
            const std::size_t nameStart = at + key.size();
            const std::string rest = json.substr(nameStart, json.find('"', nameStart) - nameStart);
            const bool matches =
                rest.size() >= suffix.size() &&
                rest.compare(rest.size() - suffix.size(), suffix.size(), suffix) == 0 &&
                (rest.size() == suffix.size() || rest[0] == '/');
            if (!matches)
                continue;
            const std::size_t end = json.find('}', at);
            const std::size_t time = json.find("\"real_time\": ", at);
            const std::size_t unit = json.find("\"time_unit\": \"", at);
            if (time > end || unit > end)
                return false;
            const double value = std::strtod(json.c_str() + time + 13, nullptr);
            const std::string u = json.substr(unit + 14, 2);
            ms = value * (u == "ns" ? 1e-6 : u == "us" ? 1e-3 : u == "ms" ? 1.0 : 1e3);
            return true;
        }
        return false;
    };
    return figure("median", spread.median) && figure("p10", spread.p10) &&
           figure("p90", spread.p90);
}

std::string cpuModel()
{
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("model name", 0) == 0)
            return line.substr(line.find(':') + 2);
    return "unknown";
}

std::string jsonString(const std::string &text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (static_cast<unsigned char>(c) >= 0x20)
            out += c;
    }
    return out + "\"";
}

std::string jsonSpread(const Spread &s)
{
    char text[128];
    std::snprintf(text, sizeof text, "{\"median\": %.4f, \"p10\": %.4f, \"p90\": %.4f}", s.median,
                  s.p10, s.p90);
    return text;
}

// The orbit: the program's own display and idle under glutMainLoop, counted by a display
// wrapper that leaves the loop after the last frame.
int orbitTarget = 0;
std::vector<Clock::time_point> orbitStamps;

void countingDisplay()
{
    display();
    orbitStamps.push_back(Clock::now());
    if (static_cast<int>(orbitStamps.size()) == orbitTarget)
        glutLeaveMainLoop();
}

bool parseOptions(int argc, char **argv, Options &options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            std::fprintf(stderr, "%s needs a value\n", arg.c_str());
            return false;
        }
        const char *value = argv[++i];
        if (arg == "--frames")
            options.frames = std::max(1, std::atoi(value));
        else if (arg == "--warmup")
            options.warmup = std::max(0, std::atoi(value));
        else if (arg == "--orbit")
            options.orbitFrames = std::max(2, std::atoi(value));
        else if (arg == "--math")
            options.mathJson = value;
        else if (arg == "--json")
            options.outJson = value;
        else if (arg == "--commit")
            options.commit = value;
        else if (arg == "--check")
            options.check = value;
        else {
            std::fprintf(stderr, "unknown option %s\n", arg.c_str());
            return false;
        }
    }
    return true;
}

void openWindow()
{
    // The program's window, set up as main() does.
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(450, 300);
    glutInitWindowPosition(50, 50);
    glutCreateWindow("Bump mapping");
    initLighting();
    glutDisplayFunc(display);
    glutReshapeFunc(reshape);
    // So that leaving the orbit's main loop returns here rather than ending the process.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    // Until the window is mapped and has had its first reshape and expose.
    for (int i = 0; i < 10; ++i)
        glutMainLoopEvent();
    reshape(450, 300);
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

ViewResult measureView(const Options &options, int displaced, int filled,
                       const FloorSurface &surface)
{
    ViewResult result{};
    result.name = displaced ? (filled ? "displaced, filled" : "displaced, wireframe")
                            : (filled ? "bumped, filled" : "bumped, wireframe");
    ViewState view = initialViewState;
    view.displaced = displaced;
    view.filled = filled;
    viewState = view;
    const auto frame = [] { display(); };
    const auto floor = [&] { drawFloorFrame(surface, view); };

    for (int i = 0; i < options.warmup; ++i) {
        timeFrame(frame);
        timeFrame(floor);
    }
    // Interleaved, taking turns at going first, so that whatever else the machine is doing
    // falls on both alike.
    std::vector<double> frameMs;
    std::vector<double> floorMs;
    for (int i = 0; i < options.frames; ++i) {
        if (i % 2 == 0) {
            frameMs.push_back(timeFrame(frame));
            floorMs.push_back(timeFrame(floor));
        } else {
            floorMs.push_back(timeFrame(floor));
            frameMs.push_back(timeFrame(frame));
        }
    }
    result.frame = spreadOf(frameMs);
    result.floor = spreadOf(floorMs);
    return result;
}

struct Orbit {
    std::size_t frames = 0;
    double fps = 0.0;
    Spread ms;
};

// Ends with freeglut deinitialised: the last thing to run against the window.
bool runOrbit(int frames, Orbit &orbit)
{
    viewState = initialViewState;
    viewState.animating = 1;
    orbitTarget = frames;
    orbitStamps.reserve(static_cast<std::size_t>(frames));
    glutDisplayFunc(countingDisplay);
    glutIdleFunc(idle);
    const Clock::time_point start = Clock::now();
    glutMainLoop();
    if (orbitStamps.size() < 2) {
        std::fprintf(stderr, "the main loop ended after %zu frames\n", orbitStamps.size());
        return false;
    }
    std::vector<double> ms;
    for (std::size_t i = 1; i < orbitStamps.size(); ++i)
        ms.push_back(
            std::chrono::duration<double, std::milli>(orbitStamps[i] - orbitStamps[i - 1]).count());
    orbit.frames = orbitStamps.size();
    orbit.fps = static_cast<double>(orbit.frames) /
                std::chrono::duration<double>(orbitStamps.back() - start).count();
    orbit.ms = spreadOf(ms);
    return true;
}

struct Report {
    std::string renderer, version, cpu;
    int cores = 0;
    std::vector<ViewResult> views;
    Orbit orbit;
};

double fps(double ms) { return 1000.0 / ms; }

double verticesPerSecond(double ms) { return kVerticesPerSurface * 1000.0 / ms; }

void printMarkdown(const Options &options, const Report &report)
{
    std::printf("Renderer: %s (OpenGL %s)  \nCPU: %s, %d cores  \nCommit: %s  \n"
                "Floor check: passed  \n%d frames per measure and view after %d of warm-up, "
                "interleaved; medians with p10–p90.\n\n",
                report.renderer.c_str(), report.version.c_str(), report.cpu.c_str(), report.cores,
                options.commit.c_str(), options.frames, options.warmup);
    std::printf("| view | frame ms (p10–p90) | frame fps | frame Mvert/s | floor ms (p10–p90) "
                "| floor fps | floor Mvert/s | frame ÷ floor | math ms (p10–p90) "
                "| math ÷ frame |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
    for (const ViewResult &r : report.views) {
        std::printf("| %s | %.2f (%.2f–%.2f) | %.1f | %.2f | %.2f (%.2f–%.2f) | %.1f | %.2f "
                    "| %.3f |",
                    r.name, r.frame.median, r.frame.p10, r.frame.p90, fps(r.frame.median),
                    verticesPerSecond(r.frame.median) / 1e6, r.floor.median, r.floor.p10,
                    r.floor.p90, fps(r.floor.median), verticesPerSecond(r.floor.median) / 1e6,
                    r.frame.median / r.floor.median);
        if (r.haveMath)
            std::printf(" %.3f (%.3f–%.3f) | %.1f%% |\n", r.math.median, r.math.p10, r.math.p90,
                        100.0 * r.math.median / r.frame.median);
        else
            std::printf(" – | – |\n");
    }
    std::printf("\nOrbit (glutMainLoop, the program's idle): %zu frames, %.1f fps; "
                "%.2f ms a frame (%.2f–%.2f).\n",
                report.orbit.frames, report.orbit.fps, report.orbit.ms.median, report.orbit.ms.p10,
                report.orbit.ms.p90);
}

std::string jsonView(const ViewResult &r)
{
    char figures[512];
    std::snprintf(figures, sizeof figures,
                  "\"frame_fps\": %.2f, \"floor_fps\": %.2f, \"frame_vertices_per_s\": %.0f, "
                  "\"floor_vertices_per_s\": %.0f, \"frame_over_floor\": %.4f",
                  fps(r.frame.median), fps(r.floor.median), verticesPerSecond(r.frame.median),
                  verticesPerSecond(r.floor.median), r.frame.median / r.floor.median);
    std::string text = "{\"view\": " + jsonString(r.name) +
                       ", \"frame_ms\": " + jsonSpread(r.frame) +
                       ", \"floor_ms\": " + jsonSpread(r.floor) + ", " + figures;
    if (r.haveMath) {
        char share[64];
        std::snprintf(share, sizeof share, "%.4f", r.math.median / r.frame.median);
        text += ", \"math_ms\": " + jsonSpread(r.math) + ", \"math_share\": " + share;
    }
    return text + "}";
}

bool writeJson(const Options &options, const Report &report)
{
    std::ofstream out(options.outJson);
    out << "{\n  \"commit\": " << jsonString(options.commit)
        << ",\n  \"renderer\": " << jsonString(report.renderer)
        << ",\n  \"gl_version\": " << jsonString(report.version)
        << ",\n  \"cpu\": " << jsonString(report.cpu) << ",\n  \"cores\": " << report.cores
        << ",\n  \"floor_check\": \"passed\",\n  \"frames_per_measure\": " << options.frames
        << ",\n  \"warmup_frames\": " << options.warmup
        << ",\n  \"vertices_per_surface\": " << kVerticesPerSurface << ",\n  \"views\": [\n";
    for (std::size_t i = 0; i < report.views.size(); ++i)
        out << "    " << jsonView(report.views[i]) << (i + 1 < report.views.size() ? "," : "")
            << "\n";
    char orbit[256];
    std::snprintf(orbit, sizeof orbit, "{\"frames\": %zu, \"fps\": %.2f, \"frame_ms\": %s}",
                  report.orbit.frames, report.orbit.fps, jsonSpread(report.orbit.ms).c_str());
    out << "  ],\n  \"orbit\": " << orbit << "\n}\n";
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char **argv)
{
    glutInit(&argc, argv);
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: bumpmap_bench [--frames N] [--warmup N] [--orbit N] "
                             "[--math FILE] [--json FILE] [--commit ID] [--check PATH]\n");
        return 2;
    }
    openWindow();

    const FloorSurface bumped = makeFloorSurface(false);
    const FloorSurface displaced = makeFloorSurface(true);
    if (!floorCheckPasses(options.check, bumped, displaced)) {
        std::fprintf(stderr, "no report: the floor does not send the program's calls\n");
        return 1;
    }
    const std::string mathJson = options.mathJson.empty() ? "" : readFile(options.mathJson);
    if (!options.mathJson.empty() && mathJson.empty())
        std::fprintf(stderr, "cannot read %s; reporting without math\n", options.mathJson.c_str());

    Report report;
    report.renderer = reinterpret_cast<const char *>(glGetString(GL_RENDERER));
    report.version = reinterpret_cast<const char *>(glGetString(GL_VERSION));
    report.cpu = cpuModel();
    report.cores = static_cast<int>(std::thread::hardware_concurrency());
    for (const int view : {0, 1, 2, 3}) {
        const int displacedView = view / 2;
        ViewResult result =
            measureView(options, displacedView, 1 - view % 2, displacedView ? displaced : bumped);
        result.haveMath = mathSpread(mathJson, displacedView != 0, result.math);
        report.views.push_back(result);
    }
    if (!runOrbit(options.orbitFrames, report.orbit))
        return 1;

    printMarkdown(options, report);
    if (!options.outJson.empty() && !writeJson(options, report)) {
        std::fprintf(stderr, "cannot write %s\n", options.outJson.c_str());
        return 1;
    }
    return 0;
}
