// SPDX-License-Identifier: MIT
#pragma once
// Every text the connection workflow shows on the status line, and the close question, each spelled
// once. Plain C++ with no dependencies, so the command-line tool reports failures in the same words.

#include <cstdio>
#include <string>

namespace status {

// Shown with the COM number in place of %d.
inline constexpr const char* kOpenFailedFormat = "COM%dがオープンできません";
inline constexpr const char* kNotInSettingMode =
    "通信エラー：QLX-DUO本体が設定モードになっていることを確認してください";
inline constexpr const char* kCommunicationError = "通信エラー";
inline constexpr const char* kReadFailed = "パラメータ読み込み失敗";
inline constexpr const char* kReadSucceeded = "パラメータ読み込み成功";
inline constexpr const char* kWriteFailed = "パラメータ書き込み失敗";
inline constexpr const char* kWriteSucceeded = "パラメータ書き込み成功";
inline constexpr const char* kNormalModeOn = "通常モードに切り替えました";
inline constexpr const char* kNormalModeFailed = "通常モード切り替えに失敗しました";
inline constexpr const char* kDisconnected = "切断";

// Asked with OK and Cancel when the window closes while connected.
inline constexpr const char* kCloseQuestion =
    "終了しますか？\r\n\r\n(QLX-DUO本体は通常モードに切り替わります)";

// The status line's tooltip after an exchange failed because the device itself went away.
inline std::string DeviceLostDetails(int port) {
    return "COM" + std::to_string(port) +
           ": the device went away (unplugged, or its line hung up); the port is closed — plug it in"
           " again and connect";
}

// kOpenFailedFormat with the port number filled in.
inline std::string OpenFailedText(int port) {
    char text[64];
    std::snprintf(text, sizeof text, kOpenFailedFormat, port);
    return text;
}

}  // namespace status
