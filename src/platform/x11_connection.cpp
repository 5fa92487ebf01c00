// The connection to the X server: opening it, the error handlers, the screen and its changes, the window's
// pixel format, whether the server can share memory with us, the user's decimal separator, and the texts for
// the user.

#include <X11/extensions/Xrandr.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/x11_internal.h"

namespace x11 {

Display* MainDisplay = nullptr;
std::string DisplayName;
std::thread::id MainThread;
int WindowDepth = 0;
bool SharedMemoryUsable = false;
int PrimaryX = 0, PrimaryY = 0, PrimaryWidth = 0, PrimaryHeight = 0;
int PrimaryMonitor = -1;
int ScreenEventBase = -1;
std::atomic<unsigned long> HostWindowXid{0};

namespace {

VisualID WindowVisualId = 0;
// While set on a thread, an X error for a MIT-SHM request on that thread's connection is recorded here
// instead of reported: attaching a segment is how the backend learns whether the server can share memory
// with this process.
thread_local bool ProbingSharedMemory = false;
thread_local bool SharedMemoryRefused = false;
char Separator = '.';
int SharedMemoryOpcode = -1;
std::atomic<int> ErrorsReported{0};
constexpr int MostErrorsReported = 20;

// An X error is a fault of ours or of a window that went away under us; it is worth a line on standard error,
// never the end of the process (Xlib's default handler exits).
int ReportError(Display* display, XErrorEvent* error) {
    if (ProbingSharedMemory && error->request_code == SharedMemoryOpcode) {
        SharedMemoryRefused = true;
        return 0;
    }
    if ((error->error_code == BadWindow || error->error_code == BadDrawable) &&
        error->resourceid == HostWindowXid.load()) {
        return 0; // the host's window has gone; its DestroyNotify ends the program
    }
    const int count = ErrorsReported.fetch_add(1) + 1;
    if (count > MostErrorsReported) {
        return 0;
    }
    char text[160] = {};
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr, "coppertrowel: X error: %s (request %d.%d, resource 0x%lx)%s\n", text,
                 error->request_code, error->minor_code, error->resourceid,
                 count == MostErrorsReported ? "; further X errors are not shown" : "");
    return 0;
}

// Written once the display is open, so that the handler below allocates nothing.
std::string LostConnectionText;

// The server is gone (it died, or the connection broke). Nothing can be drawn or received any more; the
// message loop would wait forever. The first thread to learn it ends the process; _exit, because the other
// thread may still be using what the normal exit would destroy. A second thread arriving meanwhile must not
// end the process before the first has said why, so it waits for that end.
int ReportLostConnection(Display*) {
    static std::atomic<bool> reported{false};
    if (reported.exchange(true)) {
        for (;;) {
            pause();
        }
    }
    [[maybe_unused]] const auto written =
        write(STDERR_FILENO, LostConnectionText.data(), LostConnectionText.size());
    _exit(1);
}

// The decimal separator of the user's LC_NUMERIC, read once; the C library is left in the "C" numeric locale
// so nothing else in the process changes how it reads or writes numbers.
void ReadDecimalSeparator() {
    if (std::setlocale(LC_NUMERIC, "")) {
        const char* point = std::localeconv()->decimal_point;
        Separator = point && point[0] ? point[0] : '.';
    }
    std::setlocale(LC_NUMERIC, "C");
}

// Draws with this visual and depth from now on; false for one the conversion cannot write (not TrueColor).
bool UseVisual(Visual* visual, int depth) {
    if (!visual || visual->c_class != TrueColor || depth < 15) {
        return false;
    }
    WindowVisualId = XVisualIDFromVisual(visual);
    WindowDepth = depth;
    SetPixelFormat(visual->red_mask, visual->green_mask, visual->blue_mask);
    return true;
}

// A TrueColor visual: the default one when it is, else any of depth 24. The masks are read, never assumed.
bool ChooseVisual() {
    const int screen = DefaultScreen(MainDisplay);
    XVisualInfo info{};
    return UseVisual(DefaultVisual(MainDisplay, screen), DefaultDepth(MainDisplay, screen)) ||
           (XMatchVisualInfo(MainDisplay, screen, 24, TrueColor, &info) &&
            UseVisual(info.visual, info.depth));
}

// RandR 1.5 lists the monitors; told of every change of outputs, modes and screen size, the program can
// follow them.
void WatchMonitors() {
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (XRRQueryExtension(MainDisplay, &eventBase, &errorBase) &&
        XRRQueryVersion(MainDisplay, &major, &minor) && (major > 1 || minor >= 5)) {
        ScreenEventBase = eventBase;
        XRRSelectInput(MainDisplay, DefaultRootWindow(MainDisplay),
                       RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    }
}

// The extension may be listed and still refuse us (a server on another machine, or one whose shared memory
// is closed to this user): only a real attachment tells.
void ProbeSharedMemory() {
    int firstEvent = 0, firstError = 0;
    if (!XQueryExtension(MainDisplay, "MIT-SHM", &SharedMemoryOpcode, &firstEvent, &firstError)) {
        return;
    }
    XShmSegmentInfo segment{};
    if (AttachSegment(MainDisplay, segment, 4096)) {
        SharedMemoryUsable = true;
        DetachSegment(MainDisplay, segment);
    }
}

void CloseMainConnection() {
    if (!MainDisplay) {
        return;
    }
    DestroyAllWindows();
    XCloseDisplay(MainDisplay);
    MainDisplay = nullptr;
}

} // namespace

bool AdoptVisual(Visual* visual, int depth) {
    if (!UseVisual(visual, depth)) {
        std::fputs("coppertrowel: the host's window has no TrueColor visual to draw in\n", stderr);
        return false;
    }
    return true;
}

bool AttachSegment(Display* display, XShmSegmentInfo& segment, std::size_t bytes) {
    segment = XShmSegmentInfo{};
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0) {
        return false;
    }
    void* address = shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return false;
    }
    segment.shmid = id;
    segment.shmaddr = static_cast<char*>(address);
    segment.readOnly = False;
    ProbingSharedMemory = true;
    SharedMemoryRefused = false;
    const bool sent = XShmAttach(display, &segment);
    XSync(display, False);
    ProbingSharedMemory = false;
    // The server has attached (or refused) by now: the segment can be marked for removal, and goes away with
    // the last detach even if this process dies.
    shmctl(id, IPC_RMID, nullptr);
    if (!sent || SharedMemoryRefused) {
        shmdt(address);
        segment = XShmSegmentInfo{};
        return false;
    }
    return true;
}

void DetachSegment(Display* display, XShmSegmentInfo& segment) {
    if (!segment.shmaddr) {
        return;
    }
    // The server keeps its own mapping until it handles the detach, after every request sent before it.
    XShmDetach(display, &segment);
    shmdt(segment.shmaddr);
    segment = XShmSegmentInfo{};
}

// The primary monitor, or the first where none is primary; the whole root window where RandR cannot say.
bool MeasureScreen() {
    const int screen = DefaultScreen(MainDisplay);
    int x = 0, y = 0, width = DisplayWidth(MainDisplay, screen), height = DisplayHeight(MainDisplay, screen);
    int index = -1, count = 0;
    XRRMonitorInfo* monitors =
        ScreenEventBase >= 0 ? XRRGetMonitors(MainDisplay, RootWindow(MainDisplay, screen), True, &count)
                             : nullptr;
    if (count > 0) {
        const auto* primary =
            std::find_if(monitors, monitors + count, [](const auto& m) { return m.primary; });
        index = primary == monitors + count ? 0 : static_cast<int>(primary - monitors);
        if (monitors[index].width > 0 && monitors[index].height > 0) {
            x = monitors[index].x;
            y = monitors[index].y;
            width = monitors[index].width;
            height = monitors[index].height;
        }
    }
    if (monitors) {
        XRRFreeMonitors(monitors);
    }
    const bool changed = x != PrimaryX || y != PrimaryY || width != PrimaryWidth || height != PrimaryHeight;
    PrimaryX = x;
    PrimaryY = y;
    PrimaryWidth = width;
    PrimaryHeight = height;
    PrimaryMonitor = index;
    return changed;
}

Visual* VisualOn(Display* display) {
    XVisualInfo wanted{};
    wanted.visualid = WindowVisualId;
    int count = 0;
    XVisualInfo* found = XGetVisualInfo(display, VisualIDMask, &wanted, &count);
    Visual* visual = found && count > 0 ? found[0].visual : nullptr;
    if (found) {
        XFree(found);
    }
    return visual;
}

} // namespace x11

namespace platform {

bool ConnectWindowSystem() {
    using namespace x11;
    // The simulation thread opens a connection of its own while this one waits for events; Xlib's global
    // state must be guarded for that.
    XInitThreads();
    ReadDecimalSeparator();
    XSetErrorHandler(ReportError);
    XSetIOErrorHandler(ReportLostConnection);
    // A write to a server that has died must reach the handler above, not kill the process silently.
    std::signal(SIGPIPE, SIG_IGN);

    const char* name = std::getenv("DISPLAY");
    const auto lostText = [](const std::string& display) {
        return "coppertrowel: lost the connection to the X server (display \"" + display + "\"); ending\n";
    };
    // The server can die while the connection is being opened, and then the handler speaks already.
    LostConnectionText = lostText(name ? name : "");
    MainDisplay = XOpenDisplay(nullptr);
    if (!MainDisplay) {
        if (name && name[0]) {
            std::fprintf(stderr, "coppertrowel: cannot open display \"%s\"\n", name);
        } else {
            std::fputs("coppertrowel: cannot open display (DISPLAY is not set)\n", stderr);
        }
        return false;
    }
    DisplayName = DisplayString(MainDisplay);
    LostConnectionText = lostText(DisplayName);
    MainThread = std::this_thread::get_id();
    if (!ChooseVisual()) {
        std::fprintf(stderr, "coppertrowel: display \"%s\" has no TrueColor visual to draw on\n",
                     DisplayName.c_str());
        XCloseDisplay(MainDisplay);
        MainDisplay = nullptr;
        return false;
    }
    WatchMonitors();
    MeasureScreen();
    ProbeSharedMemory();
    std::atexit(CloseMainConnection);
    return true;
}

std::int32_t GetSystemMetrics(std::int32_t index) {
    return index == SM_CXSCREEN ? x11::PrimaryWidth : index == SM_CYSCREEN ? x11::PrimaryHeight : 0;
}

ModuleHandle GetModuleHandle() {
    return nullptr; // one program, nothing to tell apart
}

char DecimalSeparator() {
    return x11::Separator;
}

void ReportFatal(const char* text) {
    std::fprintf(stderr, "%s\n", text);
}

bool ReportInformation(const char* text) {
    // Flushed here, so that a full disk or a closed pipe is seen while the caller can still say so.
    return std::fprintf(stdout, "%s\n", text) >= 0 && std::fflush(stdout) == 0;
}

bool ReadSavedSpeed(std::uint32_t&) {
    return false; // nothing is saved here
}

void ShowSettings(WindowHandle, std::uint32_t, std::uint32_t, std::uint32_t) {}

} // namespace platform
