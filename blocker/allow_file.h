// The allow list's file, "Allow.txt".
//
// Format: one entry per line, each written unchanged and ended by CR LF, in list order.
// Reading splits at commas and line ends, skips blanks before a field and takes a field that
// begins with a double quote up to the next one (so it may hold commas) without its quotes.
//
// Text is 8-bit in the system's code page. A list holding an address that the code page
// cannot represent is written as UTF-8 behind a byte-order mark instead, which the reader
// recognises; files without the mark read as before.
//
// The file lives beside the program. Where that folder cannot be written (a program under
// Program Files run without administrator rights) it is kept in a per-user folder instead,
// and that copy, when present, is the one read at the next start.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quellix {

class UrlList;

// The platform's files. Paths are UTF-8.
class FileStore {
public:
    enum class ReadResult { kOk, kNotFound, kFailed };

    virtual ReadResult Read(const std::string& path, std::string& bytes) = 0;
    // Creates or truncates the file, writes all of it and flushes it to disk.
    virtual bool Write(const std::string& path, std::string_view bytes) = 0;
    // Puts `from` in the place of `to` in one step, replacing what was there.
    virtual bool Replace(const std::string& from, const std::string& to) = 0;
    virtual bool Remove(const std::string& path) = 0;
    // Creates a folder and any missing parents; true when it exists afterwards.
    virtual bool CreateFolder(const std::string& path) = 0;

protected:
    ~FileStore() = default;
};

// Conversion between UTF-8 and the system's 8-bit code page.
class CodePage {
public:
    // Nothing when some character has no exact 8-bit form.
    virtual std::optional<std::string> FromUtf8(std::string_view utf8) = 0;
    virtual std::string ToUtf8(std::string_view bytes) = 0;

protected:
    ~CodePage() = default;
};

struct AllowListLocation {
    std::string programCopy;  // <program folder>\Allow.txt
    std::string userFolder;   // e.g. %LOCALAPPDATA%\Quellix
    std::string userCopy;     // <user folder>\Allow.txt
};

inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// Calls `field` for every field of the text, in order. Stops early when it returns false.
void SplitAllowListFields(std::string_view text, const std::function<bool(std::string_view)>& field);

std::string DecodeAllowList(std::string_view bytes, CodePage& codePage);
std::string EncodeAllowList(const UrlList& list, CodePage& codePage);

// Appends every field not yet on the list; stops when the list is full.
void ReadAllowList(std::string_view text, UrlList& list);

// Fills the (empty) allow list from the file. A missing file is created empty; any other
// failure ends loading silently with the entries read so far.
void LoadAllowList(UrlList& list, FileStore& files, CodePage& codePage, const AllowListLocation& location);

// Writes the list to a new file and only then puts it in place of the old one, so that a
// failed save leaves the previous file whole. Returns whether a copy was saved.
bool SaveAllowList(const UrlList& list, FileStore& files, CodePage& codePage, const AllowListLocation& location);

}  // namespace quellix
