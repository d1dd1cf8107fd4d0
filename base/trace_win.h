// Where the trace goes on Windows: OutputDebugString, and a file in the user's data folder
// that never grows past kMaxBytes (the one before it is kept beside it); and the one place
// where a failed call is recorded, with its file, line, expression and the system's words.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/trace.h"

namespace quellix::trace {

inline constexpr std::uint64_t kMaxBytes = 1 << 20;

// Starts tracing into `folder`\trace.log (the folder is made if need be; where the file
// cannot be written, the debugger's output still gets every line). Stop closes the file.
void StartToFile(const std::wstring& folder);
void Stop();

// A call that failed with `hr`: traced with its place, whatever else the caller does. Inline,
// so that every program that returns through the macros below has it without a library.
inline void Failure(const char* file, int line, const char* expression, HRESULT hr)
{
    if (!On())
        return;
    char* words = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   static_cast<DWORD>(hr), 0, reinterpret_cast<char*>(&words), 0, nullptr);
    std::string message = words ? words : "";
    if (words)
        LocalFree(words);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    const char* name = std::strrchr(file, '/');
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    Write("failed ", name ? name + 1 : file, ":", line, " ", expression, ": ", code, " ", message);
}

}  // namespace quellix::trace

// The result of `expr`, traced with its place when it is a failure.
#define LOG_IF_FAILED(expr)                                                                                            \
    [&](HRESULT hr_) {                                                                                                 \
        if (FAILED(hr_))                                                                                               \
            ::quellix::trace::Failure(__FILE__, __LINE__, #expr, hr_);                                                 \
        return hr_;                                                                                                    \
    }(expr)
// A BOOL-returning call: false is traced with GetLastError's code; returns the call's result.
#define LOG_LAST_ERROR_IF_FALSE(expr)                                                                                  \
    [&](bool ok_) {                                                                                                    \
        if (!ok_)                                                                                                      \
            ::quellix::trace::Failure(__FILE__, __LINE__, #expr, HRESULT_FROM_WIN32(GetLastError()));                  \
        return ok_;                                                                                                    \
    }((expr) != 0)
