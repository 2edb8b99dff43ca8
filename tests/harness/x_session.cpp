#include "x_session.h"

#include <X11/X.h>
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace e2e {

namespace {

using Clock = std::chrono::steady_clock;

constexpr milliseconds pollInterval{10};

// The window may vanish between two requests (the program quit); that must
// fail the check that made the request, not abort the whole test binary.
int ignoreXError(Display *, XErrorEvent *) { return 0; }

[[noreturn]] void throwErrno(const char *what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

// Only async-signal-safe calls between fork and exec: the test binary may
// have other threads.
void redirect(int from, int to)
{
    if (from != to)
        dup2(from, to);
}

// Forks a child with its standard streams on `in`, `out` and `err`; returns
// 0 in the child, which must exec or _exit. A test binary killed on a
// timeout runs no destructors, so the child dies with it.
pid_t forkWithStreams(int in, int out, int err)
{
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0)
        throwErrno("fork");
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        redirect(in, 0);
        redirect(out, 1);
        redirect(err, 2);
    }
    return pid;
}

void killAndReap(pid_t pid, int signal)
{
    kill(pid, signal);
    waitpid(pid, nullptr, 0);
}

} // namespace

void PrintTo(const Image &image, std::ostream *out)
{
    *out << image.width << "x" << image.height << " picture";
}

XServer::XServer(const std::string &screen)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throwErrno("pipe");
    const std::string fdArg = std::to_string(fds[1]);

    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    pid_ = forkWithStreams(devNull, devNull, devNull);
    if (pid_ == 0) {
        fcntl(fds[1], F_SETFD, 0);
        execlp("Xvfb", "Xvfb", "-displayfd", fdArg.c_str(), "-screen", "0", screen.c_str(),
               "-nolisten", "tcp", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(devNull);
    close(fds[1]);

    // Xvfb writes the display number once it accepts connections.
    std::string number;
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    pollfd pfd{fds[0], POLLIN, 0};
    while (number.find('\n') == std::string::npos && Clock::now() < deadline) {
        if (poll(&pfd, 1, 100) <= 0)
            continue;
        char buffer[32];
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        number.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        killAndReap(pid_, SIGKILL);
        throw std::runtime_error("Xvfb did not report its display");
    }
    name_ = ":" + number.substr(0, number.find('\n'));

    XSetErrorHandler(ignoreXError);
    display_ = XOpenDisplay(name_.c_str());
    if (display_ == nullptr) {
        killAndReap(pid_, SIGKILL);
        throw std::runtime_error("cannot connect to Xvfb on " + name_);
    }
}

XServer::~XServer()
{
    XCloseDisplay(display_);
    killAndReap(pid_, SIGTERM);
}

Program::Program(const std::string &displayName, const std::vector<std::string> &command)
{
    if (command.empty())
        throw std::invalid_argument("no program to run");
    std::vector<std::string> argStrings = command;
    std::vector<char *> argv;
    for (auto &arg : argStrings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    std::string displayVar = "DISPLAY=" + displayName;
    std::vector<char *> envp;
    for (char **var = environ; *var != nullptr; ++var) {
        if (std::strncmp(*var, "DISPLAY=", 8) != 0)
            envp.push_back(*var);
    }
    envp.push_back(displayVar.data());
    envp.push_back(nullptr);

    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        throwErrno("pipe");
    if (pipe2(err, O_CLOEXEC) != 0)
        throwErrno("pipe");

    const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    pid_ = forkWithStreams(devNull, out[1], err[1]);
    if (pid_ == 0) {
        // A group of its own, so that whatever a launcher started goes with it.
        setpgid(0, 0);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    setpgid(pid_, pid_);
    close(devNull);
    close(out[1]);
    close(err[1]);
    reader_ = std::thread(&Program::readOutput, this, out[0], err[0]);
}

Program::~Program()
{
    if (!status_) {
        kill(-pid_, SIGKILL);
        killAndReap(pid_, SIGKILL);
    }
    ended_ = true;
    if (reader_.joinable())
        reader_.join();
}

// Reads until both pipes close or, once the program has ended, until nothing
// more is waiting in them: a helper that a launcher left running (Wine's
// services) may hold them open long after the program wrote its last byte.
void Program::readOutput(int outFd, int errFd)
{
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string *targets[2] = {&output_, &errors_};
    int open = 2;
    while (open > 0) {
        const bool ended = ended_;
        const int ready = poll(fds, 2, ended ? 0 : 50);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || (ready == 0 && ended))
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                std::lock_guard<std::mutex> lock(mutex_);
                targets[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (const auto &fd : fds) {
        if (fd.fd >= 0)
            close(fd.fd);
    }
}

std::string Program::output() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return output_;
}

std::string Program::errors() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return errors_;
}

bool Program::running()
{
    if (status_)
        return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_)
        return true;
    status_ = status;
    // What it wrote is in the pipes by now, so this returns at once.
    ended_ = true;
    reader_.join();
    return false;
}

std::optional<int> Program::waitForExit(milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (running() && Clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(5));
    return status_;
}

long Program::residentKiB() const
{
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = -1;
            status >> kib;
            return kib;
        }
        status.ignore(4096, '\n');
    }
    return -1;
}

namespace {

// The process and every process it started, found through /proc by parent.
std::vector<pid_t> processTree(pid_t root)
{
    std::vector<std::pair<pid_t, pid_t>> parents;
    if (DIR *dir = opendir("/proc")) {
        while (const dirent *entry = readdir(dir)) {
            const pid_t pid = static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10));
            if (pid <= 0)
                continue;
            std::string stat;
            std::getline(std::ifstream("/proc/" + std::string(entry->d_name) + "/stat"), stat);
            // The parent is the second field after the name, which may hold
            // spaces and parentheses.
            const auto nameEnd = stat.rfind(')');
            if (nameEnd != std::string::npos && nameEnd + 4 < stat.size())
                parents.emplace_back(pid, std::strtol(stat.c_str() + nameEnd + 4, nullptr, 10));
        }
        closedir(dir);
    }
    std::vector<pid_t> tree{root};
    for (std::size_t i = 0; i < tree.size(); ++i) {
        for (const auto &[pid, parent] : parents) {
            if (parent == tree[i])
                tree.push_back(pid);
        }
    }
    return tree;
}

// Calls `visit` with the /proc folder of each thread of the process and of
// the processes it started; false once the process is gone.
bool forEachThread(pid_t pid, const std::function<void(const std::string &)> &visit)
{
    bool found = false;
    for (const pid_t process : processTree(pid)) {
        const std::string tasks = "/proc/" + std::to_string(process) + "/task";
        DIR *dir = opendir(tasks.c_str());
        if (dir == nullptr)
            continue;
        found = found || process == pid;
        while (const dirent *entry = readdir(dir)) {
            if (entry->d_name[0] != '.')
                visit(tasks + "/" + entry->d_name);
        }
        closedir(dir);
    }
    return found;
}

// A thread's state letter; it follows the name, which may itself hold spaces
// and parentheses.
char threadState(const std::string &thread)
{
    std::string stat;
    std::getline(std::ifstream(thread + "/stat"), stat);
    const auto nameEnd = stat.rfind(')');
    return nameEnd == std::string::npos || nameEnd + 2 >= stat.size() ? '?' : stat[nameEnd + 2];
}

} // namespace

Program::Activity Program::activity() const
{
    Activity activity{0, true};
    const bool found = forEachThread(pid_, [&activity](const std::string &thread) {
        long long nanoseconds = 0;
        std::ifstream(thread + "/schedstat") >> nanoseconds;
        activity.cpuNanoseconds += nanoseconds;
        activity.asleep = activity.asleep && threadState(thread) == 'S';
    });
    return found ? activity : Activity{};
}

std::string Program::threads() const
{
    std::string description;
    forEachThread(pid_, [&description](const std::string &thread) {
        std::string waitsIn;
        std::getline(std::ifstream(thread + "/wchan"), waitsIn);
        description += std::string(description.empty() ? "" : ", ") + threadState(thread) + " " +
                       (waitsIn.empty() || waitsIn == "0" ? "-" : waitsIn);
    });
    return description.empty() ? "gone" : description;
}

std::string Program::mappedFiles() const
{
    std::string files;
    for (const pid_t process : processTree(pid_)) {
        std::ifstream maps("/proc/" + std::to_string(process) + "/maps");
        std::string line;
        while (std::getline(maps, line)) {
            const auto path = line.find('/');
            if (path != std::string::npos)
                files += line.substr(path) + "\n";
        }
    }
    return files;
}

Window waitForWindow(Display *display, const std::string &title, milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    do {
        Window root = 0;
        Window parent = 0;
        Window *children = nullptr;
        unsigned int count = 0;
        Window found = None;
        if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
            for (unsigned int i = 0; i < count && found == None; ++i) {
                char *name = nullptr;
                XWindowAttributes attributes;
                if (XFetchName(display, children[i], &name) && name != nullptr) {
                    if (title == name && XGetWindowAttributes(display, children[i], &attributes) &&
                        attributes.map_state == IsViewable)
                        found = children[i];
                    XFree(name);
                }
            }
            XFree(children);
        }
        if (found != None)
            return found;
        std::this_thread::sleep_for(pollInterval);
    } while (Clock::now() < deadline);
    return None;
}

void focusWindow(Display *display, Window window)
{
    const auto [width, height] = windowSize(display, window);
    XWarpPointer(display, None, window, 0, 0, 0, 0, width / 2, height / 2);
    XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
    XSync(display, False);
}

void pressKey(Display *display, KeySym keysym)
{
    const KeyCode code = XKeysymToKeycode(display, keysym);
    if (code == 0)
        throw std::runtime_error("no key makes keysym " + std::to_string(keysym));
    const bool shifted = XkbKeycodeToKeysym(display, code, 0, 0) != keysym &&
                         XkbKeycodeToKeysym(display, code, 0, 1) == keysym;
    const KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
    if (shifted)
        XTestFakeKeyEvent(display, shift, True, CurrentTime);
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    if (shifted)
        XTestFakeKeyEvent(display, shift, False, CurrentTime);
    XSync(display, False);
}

std::pair<int, int> windowSize(Display *display, Window window)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes))
        return {0, 0};
    return {attributes.width, attributes.height};
}

std::pair<int, int> windowPosition(Display *display, Window window)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes))
        return {0, 0};
    return {attributes.x, attributes.y};
}

bool resizeWindow(Display *display, Window window, int width, int height)
{
    XResizeWindow(display, window, static_cast<unsigned int>(width),
                  static_cast<unsigned int>(height));
    XSync(display, False);
    return windowSize(display, window) == std::make_pair(width, height);
}

void sendDeleteWindow(Display *display, Window window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
}

Image grab(Display *display, Window window)
{
    Image image;
    const auto [width, height] = windowSize(display, window);
    if (width == 0)
        return image;
    XImage *x = XGetImage(display, window, 0, 0, static_cast<unsigned int>(width),
                          static_cast<unsigned int>(height), AllPlanes, ZPixmap);
    if (x == nullptr)
        return image;
    if (x->red_mask != 0xff0000 || x->green_mask != 0xff00 || x->blue_mask != 0xff) {
        XDestroyImage(x);
        throw std::runtime_error("expected a 24-bit RGB visual");
    }
    image.width = width;
    image.height = height;
    image.pixels.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        for (int x0 = 0; x0 < width; ++x0)
            image.pixels.push_back(static_cast<std::uint32_t>(XGetPixel(x, x0, y) & 0xffffff));
    }
    XDestroyImage(x);
    return image;
}

std::optional<Image> waitForImage(Display *display, Window window,
                                  const std::function<bool(const Image &)> &accept,
                                  milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    do {
        Image image = grab(display, window);
        if (!image.empty() && accept(image))
            return image;
        std::this_thread::sleep_for(pollInterval);
    } while (Clock::now() < deadline);
    return std::nullopt;
}

std::optional<Image> waitForChange(Display *display, Window window, const Image &before,
                                   milliseconds timeout)
{
    return waitForImage(
        display, window, [&before](const Image &image) { return image != before; }, timeout);
}

std::optional<Image> waitForStill(Display *display, Window window, const Program &program,
                                  milliseconds quiet, milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    Image last = grab(display, window);
    Program::Activity activity = program.activity();
    auto lastChange = Clock::now();
    int stillLooks = 0;
    while (!last.empty() && Clock::now() < deadline) {
        std::this_thread::sleep_for(pollInterval);
        Image image = grab(display, window);
        const Program::Activity now = program.activity();
        if (image != last || !(now == activity) || !now.asleep) {
            last = std::move(image);
            activity = now;
            lastChange = Clock::now();
            stillLooks = 0;
        } else if (++stillLooks >= 3 && Clock::now() - lastChange >= quiet) {
            return last;
        }
    }
    return std::nullopt;
}

} // namespace e2e
