#include "play/PlayerWindow.h"

#include <algorithm>

#include "console/Log.h"

namespace feedcat {
namespace {

constexpr int kDefaultWidth = 640;
constexpr int kDefaultHeight = 360;

// The frames' pixels are bytes B, G, R, X in memory, which SDL calls by their packed order.
constexpr Uint32 kPixelFormat =
    SDL_BYTEORDER == SDL_LIL_ENDIAN ? SDL_PIXELFORMAT_RGB888 : SDL_PIXELFORMAT_BGRX8888;

}  // namespace

PlayerWindow::~PlayerWindow() {
    if (texture_ != nullptr) {
        SDL_DestroyTexture(texture_);
    }
    if (renderer_ != nullptr) {
        SDL_DestroyRenderer(renderer_);
    }
    if (window_ != nullptr) {
        SDL_DestroyWindow(window_);
    }
    if (subsystem_) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
}

bool PlayerWindow::Open(std::int32_t width, std::int32_t height, std::string* error) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        *error = SDL_GetError();
        return false;
    }
    subsystem_ = true;
    // Without a display SDL falls back on drivers that show nothing: unless asked for by name
    // (SDL_VIDEODRIVER), that is no window.
    const std::string driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if ((driver == "offscreen" || driver == "dummy") && (asked == nullptr || asked[0] == '\0')) {
        *error = "no display to show it on (DISPLAY or WAYLAND_DISPLAY is not set)";
        return false;
    }
    sizeGiven_ = width > 0 && height > 0;
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    window_ = SDL_CreateWindow("feedcat", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                               sizeGiven_ ? width : kDefaultWidth,
                               sizeGiven_ ? height : kDefaultHeight, SDL_WINDOW_RESIZABLE);
    if (window_ == nullptr) {
        *error = SDL_GetError();
        return false;
    }
    renderer_ = SDL_CreateRenderer(window_, -1, 0);
    if (renderer_ == nullptr) {
        renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
    }
    if (renderer_ == nullptr) {
        *error = SDL_GetError();
        return false;
    }
    SDL_RendererInfo renderer{};
    SDL_GetRendererInfo(renderer_, &renderer);
    Log(LogLevel::kVerbose,
        "window on SDL's " + driver + " video driver, " + renderer.name + " renderer");
    Redraw();
    return true;
}

// A texture of the frame's size, and the window sized to the first frame (within the screen).
bool PlayerWindow::Fit(std::int32_t width, std::int32_t height) {
    if (texture_ != nullptr && width == textureWidth_ && height == textureHeight_) {
        return true;
    }
    if (texture_ != nullptr) {
        SDL_DestroyTexture(texture_);
    }
    texture_ =
        SDL_CreateTexture(renderer_, kPixelFormat, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (texture_ == nullptr) {
        return false;
    }
    textureWidth_ = width;
    textureHeight_ = height;
    // Scaled to the window with the picture's shape kept: bars fill the rest.
    SDL_RenderSetLogicalSize(renderer_, width, height);
    if (!sizeGiven_ && !sized_ && !fullscreen_) {
        sized_ = true;
        SDL_Rect usable{0, 0, width, height};
        SDL_GetDisplayUsableBounds(std::max(0, SDL_GetWindowDisplayIndex(window_)), &usable);
        const double scale = std::min({1.0, usable.w * 0.9 / width, usable.h * 0.9 / height});
        SDL_SetWindowSize(window_, std::max(1, static_cast<int>(width * scale)),
                          std::max(1, static_cast<int>(height * scale)));
        SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
    return true;
}

void PlayerWindow::Show(const QueuedFrame& frame) {
    if (!Fit(frame.width, frame.height)) {
        return;
    }
    SDL_UpdateTexture(texture_, nullptr, frame.pixels.data(), frame.width * 4);
    Redraw();
}

void PlayerWindow::Redraw() {
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    if (texture_ != nullptr) {
        SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
    }
    SDL_RenderPresent(renderer_);
}

void PlayerWindow::SetTitle(const std::string& title) {
    if (title != title_) {
        title_ = title;
        SDL_SetWindowTitle(window_, title.c_str());
    }
}

void PlayerWindow::ToggleFullscreen() {
    fullscreen_ = !fullscreen_;
    SDL_SetWindowFullscreen(window_, fullscreen_ ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    Redraw();
}

}  // namespace feedcat
