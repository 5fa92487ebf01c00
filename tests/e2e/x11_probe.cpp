// A small X client for the end-to-end tests: finds the program's window, reads the screen back and describes
// it, and sends the close command the way a window manager does. Prints key=value lines; exit status 0 on
// success, 1 when what was asked for is not there, 2 on a usage or connection error.
//
//   x11_probe find TIMEOUT_MS           the program's window: id, geometry, override-redirect, _NET_WM_STATE
//   x11_probe manager TIMEOUT_MS        waits for a window manager to announce itself on the root window
//   x11_probe screen [PPM_FILE|- [X Y W H]]  the screen, or one rectangle of it (a monitor), against the
//                                       background colour (and a copy as a PPM)
//   x11_probe close                     WM_DELETE_WINDOW to the program's window
//   x11_probe host W H [DEPTH]          a window of its own at (0, 0) for the program to draw in (of a visual
//                                       of that depth when given), like a screen-saver host's: prints its id,
//                                       then reads "resize W H" and "destroy" lines, answering each; ends at
//                                       EOF
//   x11_probe press X Y                 a left button press at (X, Y) of the program's window, sent as an
//   event x11_probe extension NAME            whether the server has the extension

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::uint8_t BackgroundRed = 2, BackgroundGreen = 151, BackgroundBlue = 57;
// Pixels that differ from the background are grouped by the cells of this grid they fall in; cells that touch
// (also diagonally) form one cluster.
constexpr int Cell = 8;

Display* Connection = nullptr;

bool HasClass(::Window window, const char* wanted) {
    XClassHint hint{};
    if (!XGetClassHint(Connection, window, &hint)) {
        return false;
    }
    const bool match = (hint.res_class && std::strcmp(hint.res_class, wanted) == 0) ||
                       (hint.res_name && std::strcmp(hint.res_name, wanted) == 0);
    XFree(hint.res_name);
    XFree(hint.res_class);
    return match;
}

// The program's top-level window: WM_CLASS "CopperTrowel", on the root or inside a manager's frame.
::Window FindProgramWindow(::Window under, int depth) {
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(Connection, under, &root, &parent, &children, &count)) {
        return 0;
    }
    ::Window found = 0;
    for (unsigned i = count; i-- > 0 && !found;) {
        if (HasClass(children[i], "CopperTrowel")) {
            found = children[i];
        } else if (depth < 2) {
            found = FindProgramWindow(children[i], depth + 1);
        }
    }
    if (children) {
        XFree(children);
    }
    return found;
}

// The names in the window's _NET_WM_STATE, space-separated.
std::string States(::Window window) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string names;
    if (XGetWindowProperty(Connection, window, XInternAtom(Connection, "_NET_WM_STATE", False), 0, 64, False,
                           XA_ATOM, &type, &format, &count, &after, &data) == Success &&
        data && format == 32) {
        const auto* atoms = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < count; ++i) {
            char* name = XGetAtomName(Connection, atoms[i]);
            names += (names.empty() ? "" : " ") + std::string(name ? name : "?");
            XFree(name);
        }
    }
    if (data) {
        XFree(data);
    }
    return names;
}

// A window manager following the extended hints names its check window on the root window.
int Manager(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const Atom check = XInternAtom(Connection, "_NET_SUPPORTING_WM_CHECK", False);
    for (;;) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        const bool found = XGetWindowProperty(Connection, DefaultRootWindow(Connection), check, 0, 1, False,
                                              XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
                           data && count == 1;
        if (data) {
            XFree(data);
        }
        if (found) {
            std::puts("manager=1");
            return 0;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            std::puts("manager=0");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

int Find(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const ::Window window = FindProgramWindow(DefaultRootWindow(Connection), 0);
        XWindowAttributes attributes{};
        if (window && XGetWindowAttributes(Connection, window, &attributes) &&
            attributes.map_state == IsViewable) {
            int x = 0, y = 0;
            ::Window child = 0;
            XTranslateCoordinates(Connection, window, DefaultRootWindow(Connection), 0, 0, &x, &y, &child);
            std::printf("window=0x%lx\nx=%d\ny=%d\nwidth=%d\nheight=%d\noverride_redirect=%d\n", window, x, y,
                        attributes.width, attributes.height, attributes.override_redirect ? 1 : 0);
            std::printf("states=%s\n", States(window).c_str());
            return 0;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            std::puts("window=none");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

struct Cluster {
    int Left, Top, Right, Bottom; // pixels, inclusive
    long Pixels;
};

// `area` (x, y, width, height) is the rectangle to read, or nullptr for the whole screen.
int ReadScreen(const char* ppmPath, const int* area) {
    const ::Window root = DefaultRootWindow(Connection);
    XWindowAttributes attributes{};
    XGetWindowAttributes(Connection, root, &attributes);
    const int left = area ? area[0] : 0, top = area ? area[1] : 0;
    const int width = area ? area[2] : attributes.width, height = area ? area[3] : attributes.height;
    XImage* image = XGetImage(Connection, root, left, top, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image) {
        std::fputs("x11_probe: cannot read the screen\n", stderr);
        return 2;
    }
    auto channel = [](unsigned long pixel, unsigned long mask) {
        const int shift = __builtin_ctzl(mask);
        const unsigned long top = mask >> shift;
        return static_cast<std::uint8_t>(((pixel & mask) >> shift) * 255 / top);
    };
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    const int columns = (width + Cell - 1) / Cell, rows = (height + Cell - 1) / Cell;
    std::vector<long> cellPixels(static_cast<std::size_t>(columns) * rows, 0);
    std::uint64_t hash = 1469598103934665603ull;
    long different = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            std::uint8_t* out = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            out[0] = channel(pixel, image->red_mask);
            out[1] = channel(pixel, image->green_mask);
            out[2] = channel(pixel, image->blue_mask);
            for (int k = 0; k < 3; ++k) {
                hash = (hash ^ out[k]) * 1099511628211ull;
            }
            if (out[0] != BackgroundRed || out[1] != BackgroundGreen || out[2] != BackgroundBlue) {
                ++different;
                ++cellPixels[static_cast<std::size_t>(y / Cell) * columns + x / Cell];
            }
        }
    }
    XDestroyImage(image);

    // Clusters of touching cells that hold non-background pixels.
    std::vector<Cluster> clusters;
    std::vector<char> seen(cellPixels.size(), 0);
    std::vector<int> stack;
    for (int start = 0; start < columns * rows; ++start) {
        if (!cellPixels[start] || seen[start]) {
            continue;
        }
        Cluster cluster{width, height, -1, -1, 0};
        stack.assign(1, start);
        seen[start] = 1;
        while (!stack.empty()) {
            const int cell = stack.back();
            stack.pop_back();
            const int cx = cell % columns, cy = cell / columns;
            cluster.Left = std::min(cluster.Left, cx * Cell);
            cluster.Top = std::min(cluster.Top, cy * Cell);
            cluster.Right = std::max(cluster.Right, std::min(width, (cx + 1) * Cell) - 1);
            cluster.Bottom = std::max(cluster.Bottom, std::min(height, (cy + 1) * Cell) - 1);
            cluster.Pixels += cellPixels[cell];
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = cx + dx, ny = cy + dy;
                    if (nx < 0 || ny < 0 || nx >= columns || ny >= rows) {
                        continue;
                    }
                    const int next = ny * columns + nx;
                    if (cellPixels[next] && !seen[next]) {
                        seen[next] = 1;
                        stack.push_back(next);
                    }
                }
            }
        }
        clusters.push_back(cluster);
    }

    std::printf("width=%d\nheight=%d\nnonbackground=%ld\nhash=%016llx\n", width, height, different,
                static_cast<unsigned long long>(hash));
    for (const Cluster& c : clusters) {
        std::printf("cluster=%d,%d,%d,%d,%ld\n", c.Left, c.Top, c.Right - c.Left + 1, c.Bottom - c.Top + 1,
                    c.Pixels);
    }
    if (ppmPath) {
        FILE* file = std::fopen(ppmPath, "wb");
        if (!file) {
            std::fprintf(stderr, "x11_probe: cannot write %s\n", ppmPath);
            return 2;
        }
        std::fprintf(file, "P6\n%d %d\n255\n", width, height);
        std::fwrite(rgb.data(), 1, rgb.size(), file);
        std::fclose(file);
    }
    return 0;
}

// When the server had handled what was sent, on the clock Python's time.monotonic() reads.
void PrintSentAt() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    std::printf("sent_at=%.6f\n", std::chrono::duration<double>(now).count());
}

// As a window manager sends it: a WM_PROTOCOLS client message to the window itself, no event mask.
int Close() {
    const ::Window window = FindProgramWindow(DefaultRootWindow(Connection), 0);
    if (!window) {
        std::puts("window=none");
        return 1;
    }
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(Connection, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(Connection, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(Connection, window, False, NoEventMask, &event);
    XSync(Connection, False);
    std::printf("closed=0x%lx\n", window);
    PrintSentAt();
    return 0;
}

// A button press delivered straight to the window; the moment the server has passed it on is exact, unlike
// with an input tool whose own start-up and exit blur it.
int Press(int x, int y) {
    const ::Window window = FindProgramWindow(DefaultRootWindow(Connection), 0);
    if (!window) {
        std::puts("window=none");
        return 1;
    }
    XEvent event{};
    event.xbutton.type = ButtonPress;
    event.xbutton.window = window;
    event.xbutton.root = DefaultRootWindow(Connection);
    event.xbutton.x = event.xbutton.x_root = x;
    event.xbutton.y = event.xbutton.y_root = y;
    event.xbutton.button = Button1;
    event.xbutton.same_screen = True;
    event.xbutton.time = CurrentTime;
    XSendEvent(Connection, window, False, ButtonPressMask, &event);
    XSync(Connection, False);
    std::printf("pressed=0x%lx\n", window);
    PrintSentAt();
    return 0;
}

// The child of the root window that holds `window` (its frame under a reparenting window manager).
::Window TopLevelOf(::Window window) {
    for (;;) {
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(Connection, window, &root, &parent, &children, &count)) {
            return 0;
        }
        if (children) {
            XFree(children);
        }
        if (parent == root || parent == 0) {
            return window;
        }
        window = parent;
    }
}

int Cover(int milliseconds) {
    const ::Window program = FindProgramWindow(DefaultRootWindow(Connection), 0);
    if (!program) {
        std::puts("window=none");
        return 1;
    }
    const int screen = DefaultScreen(Connection);
    const int width = DisplayWidth(Connection, screen), height = DisplayHeight(Connection, screen);
    Visual* visual = DefaultVisual(Connection, screen);
    const unsigned long magenta = visual->red_mask | visual->blue_mask;
    const ::Window cover = XCreateSimpleWindow(Connection, DefaultRootWindow(Connection), width / 4,
                                               height / 4, static_cast<unsigned>(width / 2),
                                               static_cast<unsigned>(height / 2), 0, 0, magenta);
    XMapRaised(Connection, cover);
    XSync(Connection, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    // Stacking order: the root's children from bottom to top.
    const ::Window programTop = TopLevelOf(program), coverTop = TopLevelOf(cover);
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    int programAt = -1, coverAt = -1;
    if (XQueryTree(Connection, DefaultRootWindow(Connection), &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i) {
            if (children[i] == programTop) {
                programAt = static_cast<int>(i);
            }
            if (children[i] == coverTop) {
                coverAt = static_cast<int>(i);
            }
        }
        XFree(children);
    }
    long shown = 0;
    if (XImage* image = XGetImage(Connection, DefaultRootWindow(Connection), width / 4, height / 4,
                                  static_cast<unsigned>(width / 2), static_cast<unsigned>(height / 2),
                                  AllPlanes, ZPixmap)) {
        for (int y = 0; y < height / 2; ++y) {
            for (int x = 0; x < width / 2; ++x) {
                shown += XGetPixel(image, x, y) == magenta ? 1 : 0;
            }
        }
        XDestroyImage(image);
    }
    XDestroyWindow(Connection, cover);
    XSync(Connection, False);
    std::printf("program_at=%d\ncover_at=%d\nabove=%d\ncover_pixels_shown=%ld\n", programAt, coverAt,
                programAt > coverAt ? 1 : 0, shown);
    return programAt > coverAt ? 0 : 1;
}

int Destroy() {
    const ::Window window = FindProgramWindow(DefaultRootWindow(Connection), 0);
    if (!window) {
        std::puts("window=none");
        return 1;
    }
    XDestroyWindow(Connection, window);
    XSync(Connection, False);
    std::printf("destroyed=0x%lx\n", window);
    PrintSentAt();
    return 0;
}

int Host(int width, int height, int depth) {
    const int screen = DefaultScreen(Connection);
    XVisualInfo info{};
    Visual* visual = DefaultVisual(Connection, screen);
    if (depth == 0) {
        depth = DefaultDepth(Connection, screen);
    } else if (XMatchVisualInfo(Connection, screen, depth, TrueColor, &info)) {
        visual = info.visual;
    } else {
        std::printf("depth=%d\nvisual=none\n", depth);
        return 1;
    }
    XSetWindowAttributes attributes{};
    // Black, as a host's window is before its hack draws; no manager moves it (override-redirect).
    attributes.background_pixel = 0;
    attributes.border_pixel = 0;
    attributes.override_redirect = True;
    attributes.colormap = XCreateColormap(Connection, DefaultRootWindow(Connection), visual, AllocNone);
    const ::Window window =
        XCreateWindow(Connection, DefaultRootWindow(Connection), 0, 0, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), 0, depth, InputOutput, visual,
                      CWBackPixel | CWBorderPixel | CWOverrideRedirect | CWColormap, &attributes);
    XMapRaised(Connection, window);
    XSync(Connection, False);
    std::printf("window=0x%lx\nwindow_decimal=%lu\ndepth=%d\n", window, window, depth);
    std::fflush(stdout);
    char line[128];
    while (std::fgets(line, sizeof line, stdin)) {
        int w = 0, h = 0;
        if (std::sscanf(line, "resize %d %d", &w, &h) == 2) {
            XResizeWindow(Connection, window, static_cast<unsigned>(w), static_cast<unsigned>(h));
            XSync(Connection, False);
            std::printf("resized=%dx%d\n", w, h);
        } else if (std::strncmp(line, "destroy", 7) == 0) {
            XDestroyWindow(Connection, window);
            XSync(Connection, False);
            std::printf("destroyed=0x%lx\n", window);
        }
        std::fflush(stdout);
    }
    return 0;
}

int Extension(const char* name) {
    int opcode = 0, event = 0, error = 0;
    const bool present = XQueryExtension(Connection, name, &opcode, &event, &error);
    std::printf("extension=%s\npresent=%d\n", name, present ? 1 : 0);
    return present ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(
            "usage: x11_probe find TIMEOUT_MS | manager TIMEOUT_MS | screen [PPM_FILE|- [X Y W H]] | close | "
            "press X Y | host W H [DEPTH] | extension NAME\n",
            stderr);
        return 2;
    }
    Connection = XOpenDisplay(nullptr);
    if (!Connection) {
        std::fputs("x11_probe: cannot open the display\n", stderr);
        return 2;
    }
    // A window that goes away while it is looked at is not a fault of the probe.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    const std::string command = argv[1];
    int status = 2;
    if (command == "find") {
        status = Find(argc > 2 ? std::atoi(argv[2]) : 0);
    } else if (command == "manager") {
        status = Manager(argc > 2 ? std::atoi(argv[2]) : 0);
    } else if (command == "screen") {
        const char* ppm = argc > 2 && std::strcmp(argv[2], "-") != 0 ? argv[2] : nullptr;
        int area[4] = {};
        for (int i = 0; i < 4 && argc > 6; ++i) {
            area[i] = std::atoi(argv[3 + i]);
        }
        status = ReadScreen(ppm, argc > 6 ? area : nullptr);
    } else if (command == "close") {
        status = Close();
    } else if (command == "destroy") {
        status = Destroy();
    } else if (command == "cover" && argc > 2) {
        status = Cover(std::atoi(argv[2]));
    } else if (command == "press" && argc > 3) {
        status = Press(std::atoi(argv[2]), std::atoi(argv[3]));
    } else if (command == "host" && argc > 3) {
        status = Host(std::atoi(argv[2]), std::atoi(argv[3]), argc > 4 ? std::atoi(argv[4]) : 0);
    } else if (command == "extension" && argc > 2) {
        status = Extension(argv[2]);
    } else {
        std::fprintf(stderr, "x11_probe: unknown command %s\n", argv[1]);
    }
    XCloseDisplay(Connection);
    return status;
}
