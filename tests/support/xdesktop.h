// SPDX-License-Identifier: MIT
#pragma once
// A real desktop for window tests: a private X server (Xvfb) with a window manager (openbox) on a
// display number of its own, and what a test needs to look at windows the way a user sees them:
// find a window by its title, read its frame as the window manager draws it and the hints the
// window manager was given, move or close it as the user would, and grab the screen's pixels.
//
// Start() owns both processes and stops them with the object; they also end when the test process
// dies (a crash or a failed assertion skips no clean-up). Attach() looks at a desktop somebody
// else runs (the DISPLAY of a shell script), for the qlxduo-xdesk helper.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct xcb_connection_t;

namespace testenv {

class TempDir;

// Set by `qlxduo-xdesk run` for the program it runs: the display of its private desktop.
inline constexpr const char* kDesktopRunVariable = "QLXDUO_XDESK_DISPLAY";

struct ScreenRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int Right() const { return x + width; }    // exclusive
    int Bottom() const { return y + height; }  // exclusive
    bool operator==(const ScreenRect&) const = default;
};

// Pixels grabbed from the screen, 0x00RRGGBB each, row by row.
struct ScreenImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t Pixel(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    // Writes a PNG file; false on failure.
    bool SavePng(const std::string& path) const;
};

class XDesktop {
public:
    using Window = std::uint32_t;

    // Xvfb with one screen of the given size (24-bit colour) and openbox on a free display; returns
    // once the window manager manages the screen. Throws std::runtime_error when either fails.
    // Strips of leftMargin and topMargin pixels along the left and top edges are kept out of the
    // work area, as a panel there keeps them.
    static std::unique_ptr<XDesktop> Start(int width = 1280, int height = 1024, int leftMargin = 0,
                                           int topMargin = 0);
    // The desktop on an existing display (":N"); stops nothing. Throws when it cannot connect.
    static std::unique_ptr<XDesktop> Attach(const std::string& display);
    ~XDesktop();
    XDesktop(const XDesktop&) = delete;
    XDesktop& operator=(const XDesktop&) = delete;

    // The desktop the qlxduo-xdesk helper runs this program on; nullptr when run without it.
    static std::unique_ptr<XDesktop> OfThisRun();

    // ":N", for DISPLAY.
    const std::string& Display() const { return m_display; }

    // A top-level window the window manager manages and shows, whose title (_NET_WM_NAME) is
    // exactly title; 0 when none appears within timeoutMs.
    Window FindWindow(const std::string& title, int timeoutMs) const;
    // Whether the window (any window, a pop-up too) is mapped and shown.
    bool IsViewable(Window window) const;
    // Whether the window manager still lists the window as one of its clients.
    bool IsManaged(Window window) const;
    // The window's inside in screen coordinates.
    ScreenRect ClientGeometry(Window window) const;
    // The window with the frame the window manager draws around it (caption and border).
    ScreenRect FrameGeometry(Window window) const;
    // Waits until the window manager has framed the window and reports its frame extents.
    bool WaitFramed(Window window, int timeoutMs) const;
    // The desktop's work area (the screen less panels) as the window manager reports it.
    ScreenRect WorkArea() const;

    // A property of the window as a list of 32-bit values (CARDINAL, WINDOW, ...); empty if unset.
    std::vector<std::uint32_t> Cardinals(Window window, const std::string& property) const;
    // An ATOM-list property (such as _NET_WM_ALLOWED_ACTIONS) as atom names.
    std::vector<std::string> AtomNames(Window window, const std::string& property) const;

    // Asks the window manager to move the window's frame so its top-left is at x, y, as a user
    // dragging the caption would.
    void MoveFrame(Window window, int x, int y) const;
    // Sends the close request the window manager's close button sends (WM_DELETE_WINDOW).
    void RequestClose(Window window) const;
    // What a close request did: the window went, or it showed a window of its own (the question
    // a window asks before it closes), or nothing yet.
    struct CloseEffect {
        bool gone = false;
        Window asked = 0;  // the window it showed
        bool Seen() const { return gone || asked != 0; }
    };
    // Sends the close request until it takes effect, or timeoutMs passed: a window of another
    // process that was not ready for it yet would otherwise lose it.
    CloseEffect Close(Window window, int timeoutMs) const;
    // A shown window that stands for the window (WM_TRANSIENT_FOR), such as its question; 0 if none.
    Window TransientOf(Window window) const;

    // The screen's pixels in area (the whole screen when area is empty).
    ScreenImage Grab(ScreenRect area = {}) const;

private:
    XDesktop() = default;
    void Connect();
    void StartServer(int width, int height);
    void StartWindowManager(int leftMargin, int topMargin);
    bool WindowManagerReady() const;
    std::uint32_t Atom(const std::string& name) const;
    std::vector<std::uint32_t> Property(Window window, const std::string& property, std::uint32_t type) const;
    void SendToRoot(Window window, const std::string& message, const std::uint32_t (&data)[5]) const;
    Window Root() const;

    std::string m_display;
    pid_t m_server = -1;
    pid_t m_windowManager = -1;
    xcb_connection_t* m_connection = nullptr;
    std::unique_ptr<TempDir> m_logs;  // the servers' output, for the message when they fail
};

}  // namespace testenv
