// SPDX-License-Identifier: MIT
#include "ui/qt/framehints.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWidget>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The Motif window manager hints that X window managers read for a window's frame.
constexpr std::uint32_t kMwmHintsFunctions = 1u << 0;
constexpr std::uint32_t kMwmHintsDecorations = 1u << 1;
constexpr std::uint32_t kMwmFuncMove = 1u << 2;
constexpr std::uint32_t kMwmFuncMinimize = 1u << 3;
constexpr std::uint32_t kMwmFuncClose = 1u << 5;
constexpr std::uint32_t kMwmDecorBorder = 1u << 1;
constexpr std::uint32_t kMwmDecorTitle = 1u << 3;
constexpr std::uint32_t kMwmDecorMenu = 1u << 4;
constexpr std::uint32_t kMwmDecorMinimize = 1u << 5;

constexpr const char* kMotifHintsAtom = "_MOTIF_WM_HINTS";

xcb_atom_t InternAtom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

}  // namespace

void OfferFixedDialogFrame(QWidget& window) {
    // The offscreen platform offers the X11 interface too, without a connection.
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr) return;
    const xcb_atom_t hintsAtom = InternAtom(connection, kMotifHintsAtom);
    if (hintsAtom == XCB_ATOM_NONE) return;
    // flags, functions, decorations, input mode, status
    const std::array<std::uint32_t, 5> hints = {
        kMwmHintsFunctions | kMwmHintsDecorations,
        kMwmFuncMove | kMwmFuncMinimize | kMwmFuncClose,
        kMwmDecorBorder | kMwmDecorTitle | kMwmDecorMenu | kMwmDecorMinimize,
        0,
        0,
    };
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window.winId()),
                        hintsAtom, hintsAtom, 32, static_cast<std::uint32_t>(hints.size()), hints.data());
    xcb_flush(connection);
}
