#pragma once

// Runs a program on a private X server and drives it the way a user would:
// real key presses through XTEST, window pixels through XGetImage. The
// end-to-end tests and bumpmap-drive, which drives every build of the
// program, share it.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <sys/types.h>

// Xlib's own types, declared here because its macros (None, Bool, Status...)
// clash with GoogleTest's names.
struct _XDisplay;
using Display = _XDisplay;
using Window = unsigned long;
using KeySym = unsigned long;

namespace e2e {

using std::chrono::milliseconds;

// A window's pixels as 0xRRGGBB, rows from the top.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    bool empty() const { return pixels.empty(); }
    std::uint32_t at(int x, int y) const
    {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
    bool operator==(const Image &other) const
    {
        return width == other.width && height == other.height && pixels == other.pixels;
    }
    bool operator!=(const Image &other) const { return !(*this == other); }
};

// Keeps a failing check from printing every pixel.
void PrintTo(const Image &image, std::ostream *out);

// An Xvfb of our own. It chooses a free display number itself (-displayfd), so
// tests neither guess one nor touch the desktop's DISPLAY.
class XServer {
  public:
    // `screen` as Xvfb takes it: WIDTHxHEIGHTxDEPTH.
    explicit XServer(const std::string &screen = "1280x1024x24");
    ~XServer();
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;

    const std::string &name() const { return name_; }
    Display *display() const { return display_; }

  private:
    pid_t pid_ = -1;
    std::string name_;
    Display *display_ = nullptr;
};

// The program under test, with stdout and stderr read through pipes. It may
// start through a launcher (wine, qemu, valgrind): what it does is what the
// whole tree of processes started by `command` does.
class Program {
  public:
    // Runs `command` (a path, then its arguments) with DISPLAY set to
    // `displayName`, in a process group of its own.
    Program(const std::string &displayName, const std::vector<std::string> &command);
    ~Program();
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    std::string output() const;
    std::string errors() const;

    bool running();
    // The wait status once the program has ended; nothing if it is still running
    // after `timeout`. All of its output has been read when this returns a status,
    // even where a helper it left behind (Wine's) still holds the pipes.
    std::optional<int> waitForExit(milliseconds timeout);
    // VmRSS from /proc, or -1 once the program is gone.
    long residentKiB() const;
    // What the program is doing, from /proc: the CPU time all the threads of
    // it and of the processes it started have had, and whether every one of
    // them sleeps waiting for something. A program starved by a busy machine
    // is runnable, not asleep.
    struct Activity {
        long long cpuNanoseconds = -1;
        bool asleep = false;
        bool operator==(const Activity &other) const
        {
            return cpuNanoseconds == other.cpuNanoseconds && asleep == other.asleep;
        }
    };
    Activity activity() const;
    // Each thread's state and what it waits in, for a failure message.
    std::string threads() const;
    // The files mapped into the program and the processes it started, one a line.
    std::string mappedFiles() const;

  private:
    void readOutput(int outFd, int errFd);

    pid_t pid_ = -1;
    std::optional<int> status_;
    std::thread reader_;
    std::atomic<bool> ended_{false};
    mutable std::mutex mutex_;
    std::string output_;
    std::string errors_;
};

// The viewable top-level window with this WM_NAME, or 0 after `timeout`.
Window waitForWindow(Display *display, const std::string &title, milliseconds timeout);

// With no window manager nobody gives the window the keyboard, so take the
// pointer there and focus it.
void focusWindow(Display *display, Window window);

// Presses and releases the key that makes `keysym`, holding Shift when the
// keymap puts the symbol on the shifted level.
void pressKey(Display *display, KeySym keysym);

// The window's current size; {0, 0} once it is gone.
std::pair<int, int> windowSize(Display *display, Window window);

// Where the window sits on the screen.
std::pair<int, int> windowPosition(Display *display, Window window);

// Resizes as a user's drag would end, and waits until the server applied it.
bool resizeWindow(Display *display, Window window, int width, int height);

// What a window manager sends when the user clicks the close button.
void sendDeleteWindow(Display *display, Window window);

// An empty image once the window is gone.
Image grab(Display *display, Window window);

// Polls the window until `accept` says yes; the last image it accepted, or
// nothing after `timeout`.
std::optional<Image> waitForImage(Display *display, Window window,
                                  const std::function<bool(const Image &)> &accept,
                                  milliseconds timeout);

// Polls until the picture differs from `before`.
std::optional<Image> waitForChange(Display *display, Window window, const Image &before,
                                   milliseconds timeout);

// Polls until the program has drawn everything it was asked for: for `quiet`
// and at least three looks, the picture has not changed while the program
// slept and had no CPU time. A fixed quiet time alone would take a program
// that a busy machine keeps waiting for one that has finished.
std::optional<Image> waitForStill(Display *display, Window window, const Program &program,
                                  milliseconds quiet, milliseconds timeout);

} // namespace e2e
