#include "blocker/platform_win.h"

#include "base/unique_handle.h"
#include "base/utf.h"

namespace quellix {

FileStore::ReadResult Win32Files::Read(const std::string& path, std::string& bytes)
{
    bytes.clear();
    UniqueFile file(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadResult::kNotFound
                                                                                : ReadResult::kFailed;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF)
        return ReadResult::kFailed;
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        bytes.clear();
        return ReadResult::kFailed;
    }
    bytes.resize(read);
    return ReadResult::kOk;
}

bool Win32Files::Write(const std::string& path, std::string_view bytes)
{
    UniqueFile file(CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    if (!bytes.empty() &&
        (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
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

}  // namespace quellix
