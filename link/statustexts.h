// SPDX-License-Identifier: MIT
#pragma once
// Every text the window shows on the status line about the unit, and the close question, each
// spelled once, beside the session whose outcomes they report: the command-line tool gives the
// same words in parentheses.

#include <cstdio>
#include <string>

#include "link/unitsession.h"

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

// The text of a failed step other than the open (OpenFailedText tells that one).
inline const char* FailureText(unit::SessionStep step) {
    switch (step) {
        case unit::SessionStep::CheckIdentity:
            return kCommunicationError;
        case unit::SessionStep::Read:
            return kReadFailed;
        case unit::SessionStep::Write:
        case unit::SessionStep::Store:
            return kWriteFailed;
        case unit::SessionStep::NormalMode:
            return kNormalModeFailed;
        case unit::SessionStep::Open:
        case unit::SessionStep::Identify:
        case unit::SessionStep::Version:
            break;
    }
    return kNotInSettingMode;  // "I" or "V" unanswered: the unit is not in setting mode
}

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
