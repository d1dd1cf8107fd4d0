#include "blocker/list_file.h"

#include <algorithm>
#include <new>
#include <unordered_set>

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

bool NeedsQuotes(std::string_view entry)
{
    return entry.find_first_of(",\"\r\n") != std::string_view::npos || IsBlank(entry.front()) || IsBlank(entry.back());
}

// Tries until `attempt` succeeds or about a second has passed: a scanner, a backup or an
// editor holds a file for a moment.
template <typename Attempt>
bool Patiently(FileStore& files, Attempt attempt)
{
    for (unsigned waited = 0;; waited += ListFile::kRetryMs) {
        if (attempt())
            return true;
        if (waited >= ListFile::kPatienceMs)
            return false;
        files.Pause(ListFile::kRetryMs);
    }
}

}  // namespace

struct ListFile::Copy {
    std::string path;
    FileStore::ReadResult result = FileStore::ReadResult::kFailed;
    std::string bytes;
    std::optional<std::uint64_t> modified;
};

ListLocation ListLocationFor(std::string_view programFolder, std::string_view userFolder, std::string_view fileName)
{
    const std::string name(fileName);
    const std::string user(userFolder);
    const std::size_t dot = std::min(name.rfind('.'), name.size());
    return {std::string(programFolder) + '\\' + name, user, user + '\\' + name,
            user + '\\' + name.substr(0, dot) + ".taken" + name.substr(dot)};
}

void SplitListFields(std::string_view text, const std::function<bool(std::string_view)>& field)
{
    std::string unquoted;
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && IsBlank(text[pos]))
            ++pos;
        if (pos == text.size())
            break;

        std::string_view value;
        if (text[pos] == '"') {
            // Up to the closing quote; a doubled quote is one quote of the entry.
            unquoted.clear();
            std::size_t at = pos + 1;
            for (;;) {
                const std::size_t quote = text.find('"', at);
                if (quote == std::string_view::npos) {
                    unquoted.append(text.substr(at));
                    at = text.size();
                    break;
                }
                unquoted.append(text.substr(at, quote - at));
                if (quote + 1 < text.size() && text[quote + 1] == '"') {
                    unquoted += '"';
                    at = quote + 2;
                } else {
                    at = quote;
                    break;
                }
            }
            value = unquoted;
            // Whatever stands between the closing quote and the delimiter is dropped.
            pos = FindDelimiter(text, at);
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

void AppendListEntry(std::string& text, std::string_view entry)
{
    if (entry.empty() || !NeedsQuotes(entry)) {
        text += entry;
    } else {
        text += '"';
        for (const char c : entry) {
            text += c;
            if (c == '"')
                text += '"';
        }
        text += '"';
    }
    text += "\r\n";
}

ListFile::ListFile(FileStore& files, CodePage& codePage, ListLocation location)
    : m_files(files), m_codePage(codePage), m_location(std::move(location))
{
}

FileStore::ReadResult ListFile::ReadPatiently(const std::string& path, std::string& bytes)
{
    FileStore::ReadResult result;
    Patiently(m_files, [&] {
        result = m_files.Read(path, kMaxFileBytes, bytes);
        return result != FileStore::ReadResult::kBusy && result != FileStore::ReadResult::kFailed;
    });
    return result;
}

std::vector<ListFile::Copy> ListFile::ReadCopies()
{
    std::vector<Copy> copies{{m_location.programCopy, {}, {}, {}}};
    if (!m_files.SamePath(m_location.programCopy, m_location.userCopy))
        copies.push_back({m_location.userCopy, {}, {}, {}});
    for (Copy& copy : copies) {
        copy.result = ReadPatiently(copy.path, copy.bytes);
        if (copy.result != FileStore::ReadResult::kNotFound)
            copy.modified = m_files.Modified(copy.path);
    }
    return copies;
}

void ListFile::Take(std::string_view bytes, UrlList& list)
{
    const DecodedText text = DecodeText(bytes, m_codePage);
    m_encoding = text.encoding;
    SplitListFields(text.utf8, [&](std::string_view field) {
        if (!field.empty() && !list.Contains(field) && !list.Append(std::string(field)))
            m_unheld.emplace_back(field);
        return true;
    });
}

ListFile::LoadResult ListFile::Load(UrlList& list)
{
    std::vector<Copy> copies = ReadCopies();
    const Copy& program = copies.front();
    // The user's own copy, once there is one, is the list, whatever the program's holds.
    Copy* own = copies.size() > 1 && copies.back().result != FileStore::ReadResult::kNotFound ? &copies.back()
                                                                                              : nullptr;
    if (!own && program.result == FileStore::ReadResult::kNotFound) {
        // Nothing is lost when this fails: the first save finds a place that can be written.
        m_files.Write(m_location.programCopy, {});
        m_source = m_location.programCopy;
        m_sourceModified = m_files.Modified(m_source);
        m_savedRevision = list.Revision();
        return LoadResult::kCreated;
    }
    Copy& source = own ? *own : copies.front();
    m_source = source.path;
    m_pending = source.result != FileStore::ReadResult::kOk;
    if (!m_pending) {
        try {
            Take(source.bytes, list);
            if (own)
                TakeProgramCopy(program, *own, list);
            m_sourceBytes = std::move(source.bytes);
            m_sourceModified = source.modified;
        } catch (const std::bad_alloc&) {
            // Too much for this process after all: as if it could not be read.
            while (!list.Empty())
                list.Remove(list.Count() - 1);
            m_unheld.clear();
            m_pending = true;
            m_programRead = FileStore::ReadResult::kFailed;
            m_taken.reset();
        }
    }
    m_savedRevision = list.Revision();
    return m_pending ? LoadResult::kUnreadable : LoadResult::kLoaded;
}

void ListFile::TakeProgramCopy(const Copy& program, const Copy& own, UrlList& list)
{
    std::string recordBytes;
    const bool recorded = !m_location.takenCopy.empty() &&
                          m_files.Read(m_location.takenCopy, kMaxFileBytes, recordBytes) == FileStore::ReadResult::kOk;
    if (program.result != FileStore::ReadResult::kOk) {
        m_programRead = program.result == FileStore::ReadResult::kNotFound ? program.result
                                                                           : FileStore::ReadResult::kFailed;
        // One that cannot be read now offers all it holds once it can, though the user's
        // copy will then be the newer.
        if (m_programRead == FileStore::ReadResult::kFailed && !recorded)
            m_taken = std::string();
        return;
    }
    m_programRead = program.result;
    m_programBytes = program.bytes;
    std::unordered_set<std::string> taken;
    SplitListFields(DecodeText(recordBytes, m_codePage).utf8, [&](std::string_view field) {
        taken.emplace(field);
        return true;
    });
    // Without a record (kept since this version), a program copy older than the user's was
    // there to be read when the user's was written.
    const bool allTaken = !recorded && program.modified && own.modified && *program.modified < *own.modified;
    std::string record;
    SplitListFields(DecodeText(program.bytes, m_codePage).utf8, [&](std::string_view field) {
        if (field.empty())
            return true;
        if (allTaken || taken.count(std::string(field)) || list.Contains(field) || list.Append(std::string(field)))
            AppendListEntry(record, field);
        else  // one the list cannot hold: offered again next time, and never written over
            m_programRead = FileStore::ReadResult::kFailed;
        return true;
    });
    m_taken = std::move(record);
}

bool ListFile::ProgramCopyUnchanged()
{
    if (m_programRead == FileStore::ReadResult::kFailed)
        return false;
    std::string bytes;
    return ReadPatiently(m_location.programCopy, bytes) == m_programRead && bytes == m_programBytes;
}

std::optional<std::string> ListFile::TextToSave(const UrlList& list)
{
    // The file as it is now: edited by hand since this program last read or wrote it, or not.
    std::string bytes;
    std::string fileText;
    const FileStore::ReadResult read = ReadPatiently(m_source, bytes);
    if (read == FileStore::ReadResult::kOk) {
        DecodedText file = DecodeText(bytes, m_codePage);
        m_encoding = file.encoding;
        fileText = std::move(file.utf8);
    } else {
        // One that cannot be read now may have been changed since: it is kept. One that has
        // gone is written again whole.
        const bool unread = read != FileStore::ReadResult::kNotFound;
        if (m_pending || (unread && m_files.Modified(m_source) != m_sourceModified))
            return std::nullopt;
        fileText = DecodeText(m_sourceBytes, m_codePage).utf8;
    }
    // Merged from the program folder's copy, the list has taken in all that copy holds.
    if (!m_files.SamePath(m_source, m_location.userCopy))
        m_taken = fileText;
    return MergeWithFile(fileText, list);
}

std::string ListFile::MergeWithFile(std::string_view fileText, const UrlList& list)
{
    // What the list held when this program last read or wrote the file: those entries of
    // the file it held (not the unheld), and those it held that the file had lost.
    std::unordered_set<std::string> before;
    SplitListFields(DecodeText(m_sourceBytes, m_codePage).utf8, [&](std::string_view field) {
        before.emplace(field);
        return true;
    });
    for (const std::string& entry : m_unheld)
        before.erase(entry);
    before.insert(m_lostFromFile.begin(), m_lostFromFile.end());
    auto heldBefore = [&](std::string_view entry) { return before.count(std::string(entry)) != 0; };

    std::unordered_set<std::string> written;
    std::string text;
    m_unheld.clear();
    m_lostFromFile.clear();
    auto write = [&](std::string_view entry) {
        if (!written.emplace(entry).second)
            return;
        AppendListEntry(text, entry);
        if (!list.Contains(entry))
            m_unheld.emplace_back(entry);
    };
    // The file's entries in its order, but for those removed here; then those added here,
    SplitListFields(fileText, [&](std::string_view field) {
        if (!field.empty() && (list.Contains(field) || !heldBefore(field)))
            write(field);
        return true;
    });
    // but for those the file has lost (removed there) and the list has held since.
    for (std::size_t i = 0; i < list.Count(); ++i) {
        const std::string& entry = list[i];
        if (written.count(entry))
            continue;
        if (heldBefore(entry) && list.AppendedAt(i) <= m_savedRevision)
            m_lostFromFile.push_back(entry);
        else
            write(entry);
    }
    return text;
}

bool ListFile::SaveTo(const std::string& path, std::string_view bytes)
{
    const std::string fresh = path + ".new";
    if (!m_files.Write(fresh, bytes)) {
        m_files.Remove(fresh);
        return false;
    }
    // The old file may be held open for a moment by someone who did not allow it to be
    // replaced meanwhile.
    if (Patiently(m_files, [&] { return m_files.Replace(fresh, path); }))
        return true;
    m_files.Remove(fresh);
    return false;
}

ListFile::SaveResult ListFile::Save(const UrlList& list)
{
    if (!m_pending && list.Revision() == m_savedRevision)
        return SaveResult::kUnchanged;
    // What the merge learns about the file counts only once the file holds it.
    std::vector<std::string> unheld = m_unheld;
    std::vector<std::string> lostFromFile = m_lostFromFile;
    auto fail = [&] {
        m_unheld = std::move(unheld);
        m_lostFromFile = std::move(lostFromFile);
        return SaveResult::kFailed;
    };
    const std::optional<std::string> text = TextToSave(list);
    if (!text)
        return fail();
    std::string bytes = EncodeLosslessly(*text, m_encoding, m_codePage);
    // A file the next start would refuse to read would take every entry with it.
    if (bytes.size() > kMaxFileBytes)
        return fail();

    // The list is the user's copy: the program's takes its place only while it holds
    // nothing the list has not taken in.
    const bool own = !m_files.SamePath(m_location.programCopy, m_location.userCopy) &&
                     m_files.SamePath(m_source, m_location.userCopy);
    SaveResult result = SaveResult::kFailed;
    if ((!own || ProgramCopyUnchanged()) && SaveTo(m_location.programCopy, bytes)) {
        result = SaveResult::kSaved;
        // The per-user copy is older now: it goes, with its record.
        if (own) {
            m_files.Remove(m_location.userCopy);
            if (!m_location.takenCopy.empty())
                m_files.Remove(m_location.takenCopy);
        }
        m_source = m_location.programCopy;
    } else if (m_files.CreateFolder(m_location.userFolder) && SaveTo(m_location.userCopy, bytes)) {
        result = SaveResult::kSavedForUser;
        m_source = m_location.userCopy;
        // After the list: a record older than the list offers an entry again, but loses none.
        if (m_taken && !m_location.takenCopy.empty())
            m_files.Write(m_location.takenCopy, EncodeLosslessly(*m_taken, TextEncoding::kUtf8Mark, m_codePage));
    }
    if (result == SaveResult::kFailed)
        return fail();
    m_savedRevision = list.Revision();
    m_pending = false;
    m_sourceBytes = std::move(bytes);
    m_sourceModified = m_files.Modified(m_source);
    return result;
}

}  // namespace quellix
