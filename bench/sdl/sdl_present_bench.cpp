// The presentation of the X11 benchmark (present_bench.cpp) done through SDL2 instead, on the same server,
// for comparison only: the same two boxes per frame (PresentFrames.h) from a 24-bit buffer of the screen's
// size holding the program's first picture, bytes blue, green, red, through
// - SDL's window surface: each box blitted (and so converted) from the buffer into the window surface, then
//   both put on the window by SDL_UpdateWindowSurfaceRects;
// - SDL's software renderer: both boxes written into a streaming texture of the buffer's format
//   (SDL_UpdateTexture), the whole texture copied onto the window (SDL_RenderCopy) and presented
//   (SDL_RenderPresent).
// The window surface is SDL's own X11 framebuffer (SDL_FRAMEBUFFER_ACCELERATION=0), kept in a shared memory
// segment and put with XShmPutImage whenever the server offers MIT-SHM: the counter SharedMemory says whether
// the server had that segment attached. SDL's video belongs to the thread that made the window, so frames are
// measured on the main thread, which is also the thread whose CPU time is the client's.

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "../BenchScreen.h"
#include "../PresentFrames.h"

namespace {

std::int32_t OpenWidth = 0, OpenHeight = 0;
std::vector<std::uint8_t> Picture;
std::int32_t PicturePitch = 0;

// The program's first picture at the given size, copied top row first into a buffer of the X11 backend's
// row layout (rows of 3-byte pixels padded to 4 bytes). Kept while the next benchmark wants the same size.
void OpenPicture(std::int32_t width, std::int32_t height) {
    if (OpenWidth == width && OpenHeight == height) {
        return;
    }
    if (OpenWidth) {
        bench_support::CloseScreen();
    }
    bench_support::OpenScreen(width, height);
    PicturePitch = (3 * width + 3) & ~3;
    Picture.assign(static_cast<std::size_t>(PicturePitch) * static_cast<std::size_t>(height), 0);
    for (std::int32_t y = 0; y < height; ++y) {
        std::memcpy(Picture.data() + static_cast<std::size_t>(PicturePitch) * static_cast<std::size_t>(y),
                    platform::SurfaceRow(BackBuffer, y), 3 * static_cast<std::size_t>(width));
    }
    OpenWidth = width;
    OpenHeight = height;
}

// Whether the server has this process's segment of `bytes` attached, that is whether the window's pixels
// reach it through MIT-SHM: SDL makes and marks the segment for removal at once, so it is seen only in
// /proc, attached by this process and by the server.
bool ServerSharesSegment(std::size_t bytes) {
    std::ifstream list("/proc/sysvipc/shm");
    std::string line;
    std::getline(list, line); // the column names
    while (std::getline(list, line)) {
        // key shmid perms size cpid lpid nattch ...
        std::istringstream fields(line);
        long long key = 0, id = 0, perms = 0, creator = 0, last = 0, attached = 0;
        unsigned long long size = 0;
        if (fields >> key >> id >> perms >> size >> creator >> last >> attached && size == bytes &&
            creator == getpid() && attached >= 2) {
            return true;
        }
    }
    return false;
}

// A window over the top-left corner of the screen, of the picture's size and its first picture shown.
struct Window {
    SDL_Window* Handle = nullptr;
    SDL_Surface* Source = nullptr;

    Window(std::int32_t width, std::int32_t height) {
        Handle = SDL_CreateWindow("coppertrowel SDL comparison", 0, 0, width, height,
                                  SDL_WINDOW_SHOWN | SDL_WINDOW_BORDERLESS);
        Source = SDL_CreateRGBSurfaceWithFormatFrom(Picture.data(), width, height, 24, PicturePitch,
                                                    SDL_PIXELFORMAT_BGR24);
        SDL_PumpEvents();
    }
    ~Window() {
        SDL_FreeSurface(Source);
        SDL_DestroyWindow(Handle);
    }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
};

void Fail(benchmark::State& state, const char* what) {
    state.SkipWithError((std::string(what) + ": " + SDL_GetError()).c_str());
}

void Report(benchmark::State& state, const bench_support::Measured& measured, const SDL_Surface* surface) {
    bench_support::ReportFrames(state, measured);
    const auto bytes = static_cast<std::size_t>(surface->pitch) * static_cast<std::size_t>(surface->h);
    state.counters["SharedMemory"] = ServerSharesSegment(bytes) ? 1 : 0;
}

void BM_SDLPresentWindowSurface(benchmark::State& state) {
    OpenPicture(static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
    Window window(OpenWidth, OpenHeight);
    SDL_Surface* surface = window.Handle ? SDL_GetWindowSurface(window.Handle) : nullptr;
    if (!surface || !window.Source) {
        Fail(state, "no window surface");
        return;
    }
    SDL_BlitSurface(window.Source, nullptr, surface, nullptr);
    SDL_UpdateWindowSurface(window.Handle);
    for (auto _ : state) {
        bench_support::TwoBoxes boxes;
        Report(state, bench_support::MeasureFramesOnThisThread([&] {
                   SDL_Rect rects[2];
                   int count = 0;
                   boxes.Present(
                       [&](std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
                           SDL_Rect from{x, y, width, height}, to{x, y, width, height};
                           SDL_BlitSurface(window.Source, &from, surface, &to);
                           rects[count++] = from;
                       });
                   SDL_UpdateWindowSurfaceRects(window.Handle, rects, count);
               }),
               surface);
    }
}

void BM_SDLPresentSoftwareRenderer(benchmark::State& state) {
    OpenPicture(static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
    Window window(OpenWidth, OpenHeight);
    SDL_Renderer* renderer =
        window.Handle ? SDL_CreateRenderer(window.Handle, -1, SDL_RENDERER_SOFTWARE) : nullptr;
    SDL_Texture* texture = renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_BGR24,
                                                        SDL_TEXTUREACCESS_STREAMING, OpenWidth, OpenHeight)
                                    : nullptr;
    if (texture && SDL_UpdateTexture(texture, nullptr, Picture.data(), PicturePitch) == 0) {
        for (auto _ : state) {
            bench_support::TwoBoxes boxes;
            Report(state, bench_support::MeasureFramesOnThisThread([&] {
                       boxes.Present(
                           [&](std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
                               const SDL_Rect box{x, y, width, height};
                               SDL_UpdateTexture(texture, &box,
                                                 Picture.data() + static_cast<std::size_t>(PicturePitch) * y +
                                                     3 * x,
                                                 PicturePitch);
                           });
                       SDL_RenderCopy(renderer, texture, nullptr, nullptr);
                       SDL_RenderPresent(renderer);
                   }),
                   SDL_GetWindowSurface(window.Handle));
        }
    } else {
        Fail(state, "no software renderer");
    }
    if (texture) {
        SDL_DestroyTexture(texture);
    }
    if (renderer) {
        SDL_DestroyRenderer(renderer);
    }
}

void Screens(benchmark::internal::Benchmark* bench) {
    bench->Args({1920, 1080})
        ->Args({3840, 2160})
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_SDLPresentWindowSurface)->Apply(Screens);
BENCHMARK(BM_SDLPresentSoftwareRenderer)->Apply(Screens);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    // Both before the first window: the X11 driver only, and the window surface kept in SDL's own framebuffer
    // rather than in a texture of some accelerated renderer.
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetMainReady();
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "coppertrowel_sdl_bench: %s\n", SDL_GetError());
        return 77;
    }
    SDL_Rect bounds{};
    if (SDL_GetDisplayBounds(0, &bounds) != 0 || bounds.w < 3840 || bounds.h < 2160) {
        std::fprintf(stderr, "coppertrowel_sdl_bench: the screen must be at least 3840x2160\n");
        SDL_Quit();
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    if (OpenWidth) {
        bench_support::CloseScreen();
    }
    SDL_Quit();
    benchmark::Shutdown();
    return 0;
}
