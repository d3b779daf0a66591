// SPDX-License-Identifier: MIT
#pragma once
// Where the tool's text goes: standard output or error, a trace file, or a string. A small sink of
// its own rather than the C++ streams, whose locale machinery would be most of the Windows tool.
// Once a write fails (a full disk, a closed pipe) nothing more is written, and the sink says so.
// Threads may share a sink: each piece is written whole.

#include <concepts>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/terminal.h"

namespace cli {

class COutput {
public:
    COutput() = default;
    virtual ~COutput() = default;
    COutput(const COutput&) = delete;
    COutput& operator=(const COutput&) = delete;

    COutput& operator<<(std::string_view text);
    COutput& operator<<(char c) { return *this << std::string_view(&c, 1); }
    template <std::integral Number>
    requires(!std::same_as<Number, char> && !std::same_as<Number, bool>) COutput& operator<<(Number number) {
        return *this << std::string_view(std::to_string(number));
    }
    // Hands on what is buffered; false when this or any earlier write failed.
    bool Flush();
    bool Failed();

protected:
    // Each returns false when the bytes did not all go out.
    virtual bool Put(std::string_view bytes) = 0;
    virtual bool Sync() { return true; }

private:
    std::mutex m_mutex;
    bool m_failed = false;
};

// Collects the text, for a line that is composed before it is written, and for the tests.
class CStringOutput : public COutput {
public:
    const std::string& Text() const { return m_text; }

protected:
    bool Put(std::string_view bytes) override {
        m_text += bytes;
        return true;
    }

private:
    std::string m_text;
};

// A file of the C library's, closed with the sink: the trace file.
class CFileOutput : public COutput {
public:
    explicit CFileOutput(std::FILE* file) : m_file(file) {}
    ~CFileOutput() override { std::fclose(m_file); }

protected:
    bool Put(std::string_view bytes) override;
    bool Sync() override;

private:
    std::FILE* m_file;
};

// Standard output or standard error, as the terminal layer writes them (UTF-8 text to a console,
// bytes as they are to a file or a pipe).
class CStandardOutput : public COutput {
public:
    explicit CStandardOutput(platform::StandardStream stream) : m_stream(stream) {}

protected:
    bool Put(std::string_view bytes) override { return platform::WriteStandard(m_stream, bytes); }
    bool Sync() override { return platform::FlushStandard(m_stream); }

private:
    const platform::StandardStream m_stream;
};

}  // namespace cli
