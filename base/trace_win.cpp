#include "base/trace_win.h"

#include <cstdio>

#include "base/trace.h"
#include "base/unique_handle.h"
#include "base/utf.h"

namespace quellix::trace {

namespace {

struct TraceFile {
    std::wstring path;
    UniqueFile file;
    std::uint64_t bytes = 0;
};
TraceFile g_file;

void OpenFile()
{
    g_file.file.reset(CreateFileW(g_file.path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    g_file.bytes = g_file.file && GetFileSizeEx(g_file.file.get(), &size) ? static_cast<std::uint64_t>(size.QuadPart)
                                                                          : 0;
}

void ToFile(const std::string& text)
{
    if (!g_file.file)
        return;
    if (g_file.bytes + text.size() > kMaxBytes) {
        // One older file is kept: the one before this.
        g_file.file.reset();
        MoveFileExW(g_file.path.c_str(), (g_file.path + L".old").c_str(), MOVEFILE_REPLACE_EXISTING);
        OpenFile();
        if (!g_file.file)
            return;
    }
    DWORD written = 0;
    WriteFile(g_file.file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    g_file.bytes += written;
}

void WriteLine(std::string_view line)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02u:%02u:%02u.%03u ", now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    std::string text = stamp;
    // A page's address is the page's to choose: no line of it may pass for another.
    for (const char c : line)
        text += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    text += "\r\n";
    OutputDebugStringW(Widen(text).c_str());
    ToFile(text);
}

}  // namespace

void StartToFile(const std::wstring& folder)
{
    CreateDirectoryW(folder.c_str(), nullptr);
    g_file.path = folder + L"\\trace.log";
    OpenFile();
    SetSink(WriteLine);
}

void Stop()
{
    SetSink(nullptr);
    g_file.file.reset();
}

}  // namespace quellix::trace
