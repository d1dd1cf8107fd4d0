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

struct FileIdentity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
    bool operator==(const FileIdentity&) const = default;
};

// One identity for a file or folder whatever path reaches it: a junction, a subst drive, a
// UNC path to a local disk. Asks for no access, so a file held without sharing answers too.
std::optional<FileIdentity> IdentityOf(const std::wstring& path)
{
    UniqueFile file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !GetFileInformationByHandle(file.get(), &info))
        return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

// As NTFS compares names: ordinal, without regard to letter case.
bool SameName(std::wstring_view a, std::wstring_view b)
{
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
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
    const std::wstring left = CanonicalPath(a);
    const std::wstring right = CanonicalPath(b);
    const std::optional<FileIdentity> leftFile = IdentityOf(left);
    const std::optional<FileIdentity> rightFile = IdentityOf(right);
    if (leftFile && rightFile)
        return *leftFile == *rightFile;
    // A file not written yet is this one when it has the same name in the same folder.
    const std::size_t leftSlash = left.find_last_of(L"\\/");
    const std::size_t rightSlash = right.find_last_of(L"\\/");
    if (!leftFile && !rightFile && leftSlash != std::wstring::npos && rightSlash != std::wstring::npos) {
        const std::optional<FileIdentity> leftFolder = IdentityOf(left.substr(0, leftSlash));
        const std::optional<FileIdentity> rightFolder = IdentityOf(right.substr(0, rightSlash));
        if (leftFolder && rightFolder)
            return *leftFolder == *rightFolder && SameName(std::wstring_view(left).substr(leftSlash + 1),
                                                           std::wstring_view(right).substr(rightSlash + 1));
    }
    return SameName(left, right);
}

void Win32Files::Pause(unsigned milliseconds)
{
    Sleep(milliseconds);
}

}  // namespace quellix
