// SPDX-License-Identifier: MIT
#include "xdesktop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "testenv.h"

namespace testenv {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStopDeadlineMs = 5000;
constexpr int kCloseAgainMs = 2000;
constexpr const char* kOpenboxConfig = "/etc/xdg/openbox/rc.xml";

template <class T>
using Reply = std::unique_ptr<T, decltype(&free)>;

template <class T>
Reply<T> Owned(T* reply) {
    return Reply<T>(reply, &free);
}

// Runs argv with stdout and stderr into logPath; the child ends when this process ends, whatever
// way it ends. keepFd stays open in the child.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& logPath,
            const std::vector<std::pair<std::string, std::string>>& env = {}, int keepFd = -1) {
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(126);  // the parent is already gone
    const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (log >= 0) {
        dup2(log, STDOUT_FILENO);
        dup2(log, STDERR_FILENO);
    }
    if (keepFd >= 0) fcntl(keepFd, F_SETFD, 0);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

bool Exited(pid_t pid) {
    int status = 0;
    return pid <= 0 || waitpid(pid, &status, WNOHANG) == pid;
}

void Stop(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (!WaitUntil([&] { return Exited(pid); }, kStopDeadlineMs)) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    pid = -1;
}

std::string Tail(const std::string& path) {
    const std::string text = ReadFile(path);
    return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
}

// One line from fd within timeoutMs; empty on time-out or end of file.
std::string ReadLine(int fd, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string line;
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return {};
        char buffer[64];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) return {};
        line.append(buffer, static_cast<size_t>(n));
    }
    return line.substr(0, line.find('\n'));
}

void PutBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(value >> shift & 0xFF));
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
    PutBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::string body = type + data;
    out += body;
    PutBigEndian(out, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                                       static_cast<uInt>(body.size()))));
}

}  // namespace

bool ScreenImage::SavePng(const std::string& path) const {
    std::string raw;
    raw.reserve(static_cast<size_t>(height) * (1 + 3 * static_cast<size_t>(width)));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = Pixel(x, y);
            raw.push_back(static_cast<char>(p >> 16 & 0xFF));
            raw.push_back(static_cast<char>(p >> 8 & 0xFF));
            raw.push_back(static_cast<char>(p & 0xFF));
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()), 6) != Z_OK)
        return false;
    packed.resize(packedSize);
    std::string header;
    PutBigEndian(header, static_cast<std::uint32_t>(width));
    PutBigEndian(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits per channel, RGB
    std::string png = "\x89PNG\r\n\x1a\n";
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", packed);
    PutChunk(png, "IEND", "");
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << png;
    return static_cast<bool>(out);
}

std::unique_ptr<XDesktop> XDesktop::Start(int width, int height, int leftMargin, int topMargin) {
    std::unique_ptr<XDesktop> desktop(new XDesktop);
    desktop->m_logs = std::make_unique<TempDir>();
    desktop->StartServer(width, height);
    desktop->Connect();
    desktop->StartWindowManager(leftMargin, topMargin);
    return desktop;
}

std::unique_ptr<XDesktop> XDesktop::Attach(const std::string& display) {
    std::unique_ptr<XDesktop> desktop(new XDesktop);
    desktop->m_display = display;
    desktop->Connect();
    return desktop;
}

std::unique_ptr<XDesktop> XDesktop::OfThisRun() {
    const char* display = getenv(kDesktopRunVariable);
    return display != nullptr && *display != '\0' ? Attach(display) : nullptr;
}

XDesktop::~XDesktop() {
    if (m_connection != nullptr) xcb_disconnect(m_connection);
    Stop(m_windowManager);
    Stop(m_server);
}

void XDesktop::StartServer(int width, int height) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    const std::string log = m_logs->File("xvfb.log");
    // -displayfd: the server takes the first free display number and writes it once it accepts
    // connections, so neither a guessed number nor a wait is needed.
    m_server =
        Spawn({"Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-screen", "0",
               std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten", "tcp", "-noreset"},
              log, {}, pipeFds[1]);
    close(pipeFds[1]);
    const std::string number = ReadLine(pipeFds[0], kHangGuardMs);
    close(pipeFds[0]);
    if (m_server < 0 || number.empty()) throw std::runtime_error("Xvfb did not start: " + Tail(log));
    m_display = ":" + number;
}

void XDesktop::Connect() {
    m_connection = xcb_connect(m_display.c_str(), nullptr);
    if (xcb_connection_has_error(m_connection) != 0) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
        throw std::runtime_error("cannot connect to X display " + m_display);
    }
}

void XDesktop::StartWindowManager(int leftMargin, int topMargin) {
    const std::string log = m_logs->File("openbox.log");
    const std::string home = m_logs->Path();
    if (leftMargin != 0 || topMargin != 0) {
        // The system's configuration with other margins, where openbox looks first.
        std::string config = ReadFile(kOpenboxConfig);
        const std::string margins = "<margins>\n  <top>0</top>\n  <bottom>0</bottom>\n  <left>0</left>\n";
        const size_t at = config.find(margins);
        if (at == std::string::npos) throw std::runtime_error(std::string("no margins in ") + kOpenboxConfig);
        config.replace(at, margins.size(),
                       "<margins>\n  <top>" + std::to_string(topMargin) +
                           "</top>\n  <bottom>0</bottom>\n  <left>" + std::to_string(leftMargin) +
                           "</left>\n");
        std::filesystem::create_directories(home + "/openbox");
        WriteFile(home + "/openbox/rc.xml", config);
    }
    m_windowManager = Spawn({"openbox", "--sm-disable"}, log,
                            {{"DISPLAY", m_display}, {"HOME", home}, {"XDG_CONFIG_HOME", home}});
    const bool ready =
        WaitUntil([&] { return WindowManagerReady() || Exited(m_windowManager); }, kHangGuardMs);
    if (!ready || !WindowManagerReady()) throw std::runtime_error("openbox did not start: " + Tail(log));
}

// The window manager announces itself on the root window and publishes the work area once it
// manages the screen.
bool XDesktop::WindowManagerReady() const {
    const auto check = Cardinals(Root(), "_NET_SUPPORTING_WM_CHECK");
    if (check.size() != 1 || Cardinals(check[0], "_NET_SUPPORTING_WM_CHECK") != check) return false;
    return Cardinals(Root(), "_NET_WORKAREA").size() >= 4;
}

XDesktop::Window XDesktop::Root() const {
    return xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
}

std::uint32_t XDesktop::Atom(const std::string& name) const {
    auto reply = Owned(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(name.size()), name.c_str()),
        nullptr));
    return reply ? reply->atom : static_cast<std::uint32_t>(XCB_ATOM_NONE);
}

std::vector<std::uint32_t> XDesktop::Property(Window window, const std::string& property,
                                              std::uint32_t type) const {
    auto reply = Owned(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, Atom(property), type, 0, 4096), nullptr));
    if (!reply || reply->format != 32) return {};
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return {values, values + xcb_get_property_value_length(reply.get()) / 4};
}

std::vector<std::uint32_t> XDesktop::Cardinals(Window window, const std::string& property) const {
    return Property(window, property, XCB_GET_PROPERTY_TYPE_ANY);
}

std::vector<std::string> XDesktop::AtomNames(Window window, const std::string& property) const {
    std::vector<std::string> names;
    for (std::uint32_t atom : Property(window, property, XCB_ATOM_ATOM)) {
        auto reply =
            Owned(xcb_get_atom_name_reply(m_connection, xcb_get_atom_name(m_connection, atom), nullptr));
        if (reply)
            names.emplace_back(xcb_get_atom_name_name(reply.get()),
                               static_cast<size_t>(xcb_get_atom_name_name_length(reply.get())));
    }
    return names;
}

XDesktop::Window XDesktop::FindWindow(const std::string& title, int timeoutMs) const {
    Window found = 0;
    const auto look = [&] {
        for (Window window : Cardinals(Root(), "_NET_CLIENT_LIST")) {
            auto name = Owned(xcb_get_property_reply(
                m_connection,
                xcb_get_property(m_connection, 0, window, Atom("_NET_WM_NAME"), Atom("UTF8_STRING"), 0, 1024),
                nullptr));
            if (!name) continue;
            const std::string text(static_cast<const char*>(xcb_get_property_value(name.get())),
                                   static_cast<size_t>(xcb_get_property_value_length(name.get())));
            if (text == title && IsViewable(window)) {
                found = window;
                return true;
            }
        }
        return false;
    };
    WaitUntil(look, timeoutMs);
    return found;
}

bool XDesktop::IsViewable(Window window) const {
    auto attributes = Owned(xcb_get_window_attributes_reply(
        m_connection, xcb_get_window_attributes(m_connection, window), nullptr));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

bool XDesktop::IsManaged(Window window) const {
    for (Window client : Cardinals(Root(), "_NET_CLIENT_LIST")) {
        if (client == window) return true;
    }
    return false;
}

ScreenRect XDesktop::ClientGeometry(Window window) const {
    auto geometry =
        Owned(xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr));
    auto origin = Owned(xcb_translate_coordinates_reply(
        m_connection, xcb_translate_coordinates(m_connection, window, Root(), 0, 0), nullptr));
    if (!geometry || !origin) return {};
    return {origin->dst_x, origin->dst_y, geometry->width, geometry->height};
}

ScreenRect XDesktop::FrameGeometry(Window window) const {
    ScreenRect rect = ClientGeometry(window);
    const auto extents = Cardinals(window, "_NET_FRAME_EXTENTS");  // left, right, top, bottom
    if (extents.size() != 4) return rect;
    const int left = static_cast<int>(extents[0]);
    const int top = static_cast<int>(extents[2]);
    return {rect.x - left, rect.y - top, rect.width + left + static_cast<int>(extents[1]),
            rect.height + top + static_cast<int>(extents[3])};
}

bool XDesktop::WaitFramed(Window window, int timeoutMs) const {
    return WaitUntil([&] { return Cardinals(window, "_NET_FRAME_EXTENTS").size() == 4; }, timeoutMs);
}

ScreenRect XDesktop::WorkArea() const {
    const auto area = Cardinals(Root(), "_NET_WORKAREA");
    if (area.size() < 4) return {};
    return {static_cast<int>(area[0]), static_cast<int>(area[1]), static_cast<int>(area[2]),
            static_cast<int>(area[3])};
}

void XDesktop::SendToRoot(Window window, const std::string& message, const std::uint32_t (&data)[5]) const {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = Atom(message);
    std::memcpy(event.data.data32, data, sizeof data);
    xcb_send_event(m_connection, 0, Root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(m_connection);
}

void XDesktop::MoveFrame(Window window, int x, int y) const {
    // North-west gravity: x, y place the frame's top-left; x and y given; sent as by a pager, which
    // the window manager obeys like the user's own move.
    const std::uint32_t flags = XCB_GRAVITY_NORTH_WEST | 1u << 8 | 1u << 9 | 2u << 12;
    SendToRoot(window, "_NET_MOVERESIZE_WINDOW",
               {flags, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), 0, 0});
}

void XDesktop::RequestClose(Window window) const {
    SendToRoot(window, "_NET_CLOSE_WINDOW", {XCB_CURRENT_TIME, 2, 0, 0, 0});
}

XDesktop::Window XDesktop::TransientOf(Window window) const {
    for (Window client : Cardinals(Root(), "_NET_CLIENT_LIST")) {
        const auto owner = Property(client, "WM_TRANSIENT_FOR", XCB_ATOM_WINDOW);
        if (client != window && owner.size() == 1 && owner[0] == window && IsViewable(client)) return client;
    }
    return 0;
}

XDesktop::CloseEffect XDesktop::Close(Window window, int timeoutMs) const {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    CloseEffect effect;
    const auto seen = [&] {
        effect = {!IsManaged(window) || !IsViewable(window), TransientOf(window)};
        return effect.Seen();
    };
    // Asked again now and then: a busy program may take long to answer, but one that had not yet
    // taken its window's close requests never will. A window that asks blocks further requests
    // while it asks, so a repeated one does no harm.
    while (!seen() && Clock::now() < deadline) {
        RequestClose(window);
        const int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
        WaitUntil(seen, std::clamp(left, 0, kCloseAgainMs));
    }
    return effect;
}

ScreenImage XDesktop::Grab(ScreenRect area) const {
    if (area.width <= 0 || area.height <= 0) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        area = {0, 0, screen->width_in_pixels, screen->height_in_pixels};
    }
    auto reply = Owned(xcb_get_image_reply(
        m_connection,
        xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, Root(), static_cast<int16_t>(area.x),
                      static_cast<int16_t>(area.y), static_cast<uint16_t>(area.width),
                      static_cast<uint16_t>(area.height), ~0u),
        nullptr));
    const size_t count = static_cast<size_t>(area.width) * static_cast<size_t>(area.height);
    if (!reply || static_cast<size_t>(xcb_get_image_data_length(reply.get())) != count * 4)
        throw std::runtime_error("cannot grab the screen (expected a 24-bit screen of 32-bit pixels)");
    ScreenImage image{area.width, area.height, std::vector<std::uint32_t>(count)};
    std::memcpy(image.pixels.data(), xcb_get_image_data(reply.get()), count * 4);
    for (std::uint32_t& pixel : image.pixels) pixel &= 0xFFFFFF;
    return image;
}

}  // namespace testenv
