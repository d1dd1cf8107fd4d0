#include "base/unique_handle.h"
#include "base/utf.h"
#include "blocker/platform_win.h"

namespace quellix {

namespace {

bool IsBusy(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// The full, long form of a path, for comparing: "C:\PROGRA~1" and "c:\program files" are one.
std::wstring CanonicalPath(const std::string& path)
{
    const std::wstring wide = Widen(path);
    std::wstring full(GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr), L'\0');
    full.resize(GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
    if (full.empty())
        return wide;
    std::wstring longForm(GetLongPathNameW(full.c_str(), nullptr, 0), L'\0');
    longForm.resize(GetLongPathNameW(full.c_str(), longForm.data(), static_cast<DWORD>(longForm.size())));
    return longForm.empty() ? full : longForm;
}

}  // namespace

FileStore::ReadResult Win32Files::Read(const std::string& path, std::size_t maxBytes, std::string& bytes)
{
    bytes.clear();
    UniqueFile file(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return ReadResult::kNotFound;
        return IsBusy(error) ? ReadResult::kBusy : ReadResult::kFailed;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size))
        return ReadResult::kFailed;
    if (static_cast<unsigned long long>(size.QuadPart) > maxBytes)
        return ReadResult::kTooLarge;
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        const DWORD error = GetLastError();
        bytes.clear();
        return IsBusy(error) ? ReadResult::kBusy : ReadResult::kFailed;
    }
    bytes.resize(read);
    return ReadResult::kOk;
}

std::optional<std::uint64_t> Win32Files::Modified(const std::string& path)
{
    // Answers for a file that another program holds open, too.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    return (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

bool Win32Files::Write(const std::string& path, std::string_view bytes)
{
    UniqueFile file(CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    if (!bytes.empty() && (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
                           written != bytes.size()))
        return false;
    return FlushFileBuffers(file.get()) != FALSE;
}

bool Win32Files::Replace(const std::string& from, const std::string& to)
{
    return MoveFileExW(Widen(from).c_str(), Widen(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
           FALSE;
}

bool Win32Files::Remove(const std::string& path)
{
    return DeleteFileW(Widen(path).c_str()) != FALSE;
}

bool Win32Files::CreateFolder(const std::string& path)
{
    const std::wstring wide = Widen(path);
    if (CreateDirectoryW(wide.c_str(), nullptr))
        return true;
    if (GetLastError() == ERROR_ALREADY_EXISTS)
        return true;
    if (GetLastError() != ERROR_PATH_NOT_FOUND)
        return false;
    const std::size_t slash = path.find_last_of("\\/");
    return slash != std::string::npos && slash > 0 && CreateFolder(path.substr(0, slash)) &&
           CreateDirectoryW(wide.c_str(), nullptr) != FALSE;
}

bool Win32Files::SamePath(const std::string& a, const std::string& b)
{
    // As NTFS compares names: ordinal, without regard to letter case.
    const std::wstring left = CanonicalPath(a);
    const std::wstring right = CanonicalPath(b);
    return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

void Win32Files::Pause(unsigned milliseconds)
{
    Sleep(milliseconds);
}

}  // namespace quellix
