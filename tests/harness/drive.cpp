// bumpmap-drive: runs one build of bumpmap on a private Xvfb and drives it
// as a user would, for every stage that checks a real window: the desktop's
// reference frames, the ports against them (Windows under Wine, arm64 under
// qemu), valgrind's memcheck, the packaged program and the README's pictures.

#include "image_file.h"
#include "x_session.h"

#include <X11/X.h>
#include <X11/Xlib.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using e2e::Image;
using e2e::milliseconds;

const char *const usage = R"(usage: bumpmap-drive [OPTION...] -- COMMAND [ARG...]
       bumpmap-drive --run [--screen WxHxD] -- COMMAND [ARG...]
With --run, only runs COMMAND with DISPLAY on an Xvfb of its own (screen
1280x1024x24 unless --screen says otherwise) and exits with its status.
Otherwise starts an Xvfb of its own, runs COMMAND on it (the program, or a launcher such
as wine, qemu or valgrind and the program), waits for the "Bump mapping"
window and its first frame and gives it the keyboard. Then:
  --size WxH       resizes the window, as a user's drag ends, before any state
  --steps FILE     reaches the states of FILE in turn: lines "NAME KEY...", X
                   key names, each key pressed once the frame of the one before
                   has arrived; each must change the picture. "frame" waits for
                   one more frame with no key. '#' starts a comment
  --until NAME     stops after the state NAME
  --save DIR       writes each state's picture as DIR/NAME.png
  --compare DIR    compares each state's picture with DIR/NAME.png, pixel for
                   pixel; fails if one differs
  --mesa-from DIR  fails unless a Mesa driver from under DIR drew the window
  --end HOW        escape (the default) or close, the window manager's close
                   button; the program must then end with status 0 having
                   printed nothing. none leaves it running to be killed
  --timeout S      for the window, each frame and the end (default 60)
Exits 0 when every check passed, 1 when one failed, 2 on a usage error.
)";

struct Step {
    std::string name;
    std::vector<std::string> keys;
};

struct Options {
    bool run = false;
    std::string screen = "1280x1024x24";
    int width = 0;
    int height = 0;
    std::vector<Step> steps;
    std::string until;
    std::string saveDir;
    std::string compareDir;
    std::string mesaFrom;
    std::string end = "escape";
    milliseconds timeout{60000};
    std::vector<std::string> command;
};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::vector<Step> readSteps(const std::string &path)
{
    std::ifstream file(path);
    if (!file)
        throw UsageError("cannot read " + path);
    std::vector<Step> steps;
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream words(line.substr(0, line.find('#')));
        Step step;
        if (!(words >> step.name))
            continue;
        for (std::string key; words >> key;)
            step.keys.push_back(key);
        steps.push_back(step);
    }
    return steps;
}

Options parse(int argc, char **argv)
{
    Options options;
    int i = 1;
    const auto value = [&](const std::string &option) -> std::string {
        if (i + 1 >= argc)
            throw UsageError(option + " needs a value");
        return argv[++i];
    };
    for (; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--") {
            options.command.assign(argv + i + 1, argv + argc);
            break;
        }
        if (option == "--run") {
            options.run = true;
        } else if (option == "--screen") {
            options.screen = value(option);
        } else if (option == "--size") {
            const std::string size = value(option);
            if (std::sscanf(size.c_str(), "%dx%d", &options.width, &options.height) != 2 ||
                options.width <= 0 || options.height <= 0)
                throw UsageError("--size takes WIDTHxHEIGHT, not " + size);
        } else if (option == "--steps") {
            options.steps = readSteps(value(option));
        } else if (option == "--until") {
            options.until = value(option);
        } else if (option == "--save") {
            options.saveDir = value(option);
        } else if (option == "--compare") {
            options.compareDir = value(option);
        } else if (option == "--mesa-from") {
            options.mesaFrom = value(option);
        } else if (option == "--end") {
            options.end = value(option);
            if (options.end != "escape" && options.end != "close" && options.end != "none")
                throw UsageError("--end takes escape, close or none");
        } else if (option == "--timeout") {
            options.timeout = milliseconds(1000 * std::atol(value(option).c_str()));
        } else {
            throw UsageError("unknown option " + option);
        }
    }
    if (options.command.empty())
        throw UsageError("no command after --");
    return options;
}

// A drawn frame, not a window cleared to one colour.
bool drawn(const Image &image)
{
    for (const auto pixel : image.pixels) {
        if (pixel != image.pixels.front())
            return true;
    }
    return false;
}

class Session {
  public:
    explicit Session(const Options &options)
        : options_(options), server_(options.screen), program_(server_.name(), options.command)
    {
    }

    // The window, focused, and its first frame. A window found can be gone
    // before it is focused (one of Wine's start-up, or one it replaces): then
    // it looks again.
    void open()
    {
        for (int tries = 0; tries < 3 && windowSize().first == 0; ++tries) {
            window_ = e2e::waitForWindow(display(), "Bump mapping", options_.timeout);
            if (window_ == 0)
                fail("no window within " + seconds() + "; stderr: " + program_.errors());
            e2e::focusWindow(display(), window_);
        }
        if (windowSize().first == 0)
            fail("the window went before it could be focused, three times");
        if (options_.width > 0 &&
            !e2e::resizeWindow(display(), window_, options_.width, options_.height))
            fail("the window would not take the size " + std::to_string(options_.width) + "x" +
                 std::to_string(options_.height));
        const auto first = e2e::waitForImage(
            display(), window_,
            [this](const Image &image) {
                return drawn(image) && (options_.width == 0 || (image.width == options_.width &&
                                                                image.height == options_.height));
            },
            options_.timeout);
        if (!first)
            fail("no frame within " + seconds());
        frame_ = *first;
    }

    void checkMesa()
    {
        if (options_.mesaFrom.empty())
            return;
        std::istringstream files(program_.mappedFiles());
        for (std::string file; std::getline(files, file);) {
            if (file.rfind(options_.mesaFrom + "/", 0) == 0 &&
                (file.find("/dri/") != std::string::npos ||
                 file.find("libgallium") != std::string::npos))
                return;
        }
        fail("no Mesa driver from " + options_.mesaFrom + " drew the window");
    }

    // Every state in turn; true when each matched its reference, if asked.
    bool reachStates()
    {
        if (!options_.saveDir.empty())
            std::filesystem::create_directories(options_.saveDir);
        bool same = true;
        for (const Step &step : options_.steps) {
            for (const std::string &key : step.keys)
                press(step.name, key);
            if (!options_.saveDir.empty())
                e2e::writePng(options_.saveDir + "/" + step.name + ".png", frame_);
            if (!options_.compareDir.empty())
                same = compare(step.name) && same;
            else
                std::cout << step.name << ": reached\n";
            if (step.name == options_.until)
                break;
        }
        return same;
    }

    bool end()
    {
        if (options_.end == "none")
            return true;
        if (options_.end == "escape")
            e2e::pressKey(display(), XStringToKeysym("Escape"));
        else
            e2e::sendDeleteWindow(display(), window_);
        const auto status = program_.waitForExit(options_.timeout);
        if (!status)
            fail("still running " + seconds() + " after " + options_.end);
        bool clean = true;
        if (!WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
            std::cout << "FAILED: after " << options_.end << ", "
                      << (WIFEXITED(*status)
                              ? "exit status " + std::to_string(WEXITSTATUS(*status))
                              : "killed by signal " + std::to_string(WTERMSIG(*status)))
                      << ", not 0\n";
            clean = false;
        }
        const std::string streams[2][2] = {{"stdout", program_.output()},
                                           {"stderr", program_.errors()}};
        for (const auto &stream : streams) {
            if (!stream[1].empty()) {
                std::cout << "FAILED: printed on " << stream[0] << ": " << stream[1].substr(0, 300)
                          << "\n";
                clean = false;
            }
        }
        if (clean)
            std::cout << options_.end << ": exit status 0, nothing printed\n";
        return clean;
    }

  private:
    Display *display() const { return server_.display(); }
    std::pair<int, int> windowSize() const
    {
        return window_ == 0 ? std::pair{0, 0} : e2e::windowSize(display(), window_);
    }
    std::string seconds() const { return std::to_string(options_.timeout.count() / 1000) + " s"; }

    [[noreturn]] void fail(const std::string &what) const
    {
        throw std::runtime_error(what + " (the program: " + program_.threads() + ")");
    }

    // The frame after `key`, which must differ from the one before.
    void press(const std::string &state, const std::string &key)
    {
        if (key != "frame") {
            const KeySym keysym = XStringToKeysym(key.c_str());
            if (keysym == NoSymbol)
                throw UsageError("no X key is named " + key);
            e2e::pressKey(display(), keysym);
        }
        const auto next = e2e::waitForChange(display(), window_, frame_, options_.timeout);
        if (!next)
            fail(state + ": no new frame within " + seconds() + " of " + key);
        frame_ = *next;
    }

    bool compare(const std::string &state) const
    {
        const std::string path = options_.compareDir + "/" + state + ".png";
        const Image reference = e2e::readPng(path);
        long differing = 0;
        if (reference.width != frame_.width || reference.height != frame_.height) {
            differing = static_cast<long>(frame_.pixels.size());
        } else {
            for (std::size_t i = 0; i < frame_.pixels.size(); ++i)
                differing += frame_.pixels[i] != reference.pixels[i];
        }
        std::cout << state << ": " << differing << " pixels differ from " << path << "\n";
        return differing == 0;
    }

    const Options &options_;
    e2e::XServer server_;
    e2e::Program program_;
    Window window_ = 0;
    Image frame_;
};

// The command's exit status, or 128 + the signal that ended it.
int runOnServer(const Options &options)
{
    const e2e::XServer server(options.screen);
    setenv("DISPLAY", server.name().c_str(), 1);
    std::vector<char *> argv;
    for (const auto &arg : options.command)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[0], argv.data());
        std::perror(argv[0]);
        _exit(127);
    }
    int status = 0;
    while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (pid < 0)
        return 1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

int main(int argc, char **argv)
{
    std::optional<Options> options;
    try {
        options = parse(argc, argv);
    } catch (const UsageError &error) {
        std::cerr << "bumpmap-drive: " << error.what() << "\n" << usage;
        return 2;
    }
    try {
        if (options->run)
            return runOnServer(*options);
        Session session(*options);
        session.open();
        session.checkMesa();
        const bool same = session.reachStates();
        const bool clean = session.end();
        return same && clean ? 0 : 1;
    } catch (const std::exception &error) {
        std::cout << "FAILED: " << error.what() << "\n";
        return 1;
    }
}
