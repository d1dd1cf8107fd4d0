#include "blocker/allow_file.h"

#include "blocker/popup_rules.h"
#include "blocker/url_list.h"

namespace quellix {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// Past one field delimiter: a comma, or a line end (CR LF, CR or LF).
std::size_t SkipDelimiter(std::string_view text, std::size_t pos)
{
    if (pos >= text.size())
        return pos;
    if (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n')
        return pos + 2;
    return pos + 1;
}

std::size_t FindDelimiter(std::string_view text, std::size_t pos)
{
    while (pos < text.size() && text[pos] != ',' && !IsLineEnd(text[pos]))
        ++pos;
    return pos;
}

bool SaveTo(const std::string& path, std::string_view bytes, FileStore& files)
{
    const std::string fresh = path + ".new";
    if (files.Write(fresh, bytes) && files.Replace(fresh, path))
        return true;
    files.Remove(fresh);
    return false;
}

}  // namespace

void SplitAllowListFields(std::string_view text, const std::function<bool(std::string_view)>& field)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && IsBlank(text[pos]))
            ++pos;
        if (pos == text.size())
            break;

        std::string_view value;
        if (text[pos] == '"') {
            const std::size_t close = text.find('"', pos + 1);
            const std::size_t end = close == std::string_view::npos ? text.size() : close;
            value = text.substr(pos + 1, end - pos - 1);
            // Whatever stands between the closing quote and the delimiter is dropped.
            pos = FindDelimiter(text, end);
        } else {
            const std::size_t end = FindDelimiter(text, pos);
            value = text.substr(pos, end - pos);
            while (!value.empty() && IsBlank(value.back()))
                value.remove_suffix(1);
            pos = end;
        }
        if (!field(value))
            return;
        pos = SkipDelimiter(text, pos);
    }
}

std::string DecodeAllowList(std::string_view bytes, CodePage& codePage)
{
    if (bytes.starts_with(kUtf8Mark))
        return std::string(bytes.substr(kUtf8Mark.size()));
    return codePage.ToUtf8(bytes);
}

std::string EncodeAllowList(const UrlList& list, CodePage& codePage)
{
    std::string utf8;
    for (const std::string& entry : list.Entries()) {
        utf8 += entry;
        utf8 += "\r\n";
    }
    // 8-bit text that happens to begin with the mark's bytes would be taken for UTF-8.
    std::optional<std::string> narrow = codePage.FromUtf8(utf8);
    if (narrow && !narrow->starts_with(kUtf8Mark))
        return std::move(*narrow);
    return std::string(kUtf8Mark) + utf8;
}

void ReadAllowList(std::string_view text, UrlList& list)
{
    SplitAllowListFields(text, [&list](std::string_view field) {
        if (IsInList(list, field))
            return true;
        return list.Append(std::string(field));
    });
}

void LoadAllowList(UrlList& list, FileStore& files, CodePage& codePage, const AllowListLocation& location)
{
    std::string bytes;
    if (files.Read(location.userCopy, bytes) == FileStore::ReadResult::kOk) {
        ReadAllowList(DecodeAllowList(bytes, codePage), list);
        return;
    }
    switch (files.Read(location.programCopy, bytes)) {
    case FileStore::ReadResult::kOk:
        ReadAllowList(DecodeAllowList(bytes, codePage), list);
        break;
    case FileStore::ReadResult::kNotFound:
        // Nothing is lost when this fails: the first save finds a place that can be written.
        files.Write(location.programCopy, {});
        break;
    case FileStore::ReadResult::kFailed:
        break;
    }
}

bool SaveAllowList(const UrlList& list, FileStore& files, CodePage& codePage, const AllowListLocation& location)
{
    const std::string bytes = EncodeAllowList(list, codePage);
    if (SaveTo(location.programCopy, bytes, files)) {
        // The program's folder holds the newest list again; an older per-user copy would
        // otherwise be read first at the next start.
        files.Remove(location.userCopy);
        return true;
    }
    files.CreateFolder(location.userFolder);
    return SaveTo(location.userCopy, bytes, files);
}

}  // namespace quellix
