// The --play window: shows the latest frame scaled to the window with its shape kept (bars
// where the window's shape differs), its title, full screen on and off. It takes its size from
// the first frame unless a size was asked for. Main thread only, as SDL wants.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>

#include "play/FrameQueue.h"

namespace feedcat {

class PlayerWindow {
  public:
    PlayerWindow() = default;
    ~PlayerWindow();
    PlayerWindow(const PlayerWindow&) = delete;
    PlayerWindow& operator=(const PlayerWindow&) = delete;

    // Starts SDL's video and opens the window at width x height (both 0: a default size until
    // the first frame). False with SDL's reason.
    bool Open(std::int32_t width, std::int32_t height, std::string* error);

    // Shows the frame now.
    void Show(const QueuedFrame& frame);

    // Draws the last frame again (after the window was uncovered or resized).
    void Redraw();

    void SetTitle(const std::string& title);
    void ToggleFullscreen();

    // SDL's id of the window, to tell its events apart.
    Uint32 id() const { return window_ != nullptr ? SDL_GetWindowID(window_) : 0; }

  private:
    bool Fit(std::int32_t width, std::int32_t height);

    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    std::int32_t textureWidth_ = 0;
    std::int32_t textureHeight_ = 0;
    bool sizeGiven_ = false;  // the window keeps the size asked for
    bool sized_ = false;      // the window took the first frame's size
    bool fullscreen_ = false;
    std::string title_;
    bool subsystem_ = false;
};

}  // namespace feedcat
