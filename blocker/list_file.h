// The files that carry a list from one run to the next: "Allow.txt" (the allow list) and
// "Sites.txt" (the allowed sites).
//
// Format: one entry per line, ended by CR LF, in list order. Reading splits at commas and
// line ends, skips blanks before a field, and takes a field that begins with a double
// quote up to the closing quote (a doubled quote inside stands for one), so that it may hold
// commas, line ends and quotes. The writer quotes exactly the entries that need it: those
// holding a comma, a quote or a line end, or beginning or ending with a blank. Files written
// before quoting existed read as they always did. Encodings: see text_encoding.h.
//
// Where a list lives: in the program's folder, or, where that cannot be written, in a
// per-user folder. The per-user copy, once there is one, is the user's list: the program
// folder's copy (an administrator's, in an installation for every user) only adds to it
// the entries it has not offered before, so that what the user removed stays removed; a
// record beside the user's copy says which those are. A save goes to the program's folder
// when it can and that copy holds nothing the list has not taken in, and then removes the
// per-user copy; else to the per-user copy. The two may be one and the same file (a
// per-user installation), compared as Windows compares paths.
//
// Nothing a file holds is lost: a file that cannot be read is tried again for a moment
// and is then left as it is; entries the list cannot hold (beyond its size, or longer
// than an entry may be) are written back after the others; a list that did not change is
// not written at all; a file edited by hand while the program ran keeps its edits, with
// the program's own additions and removals applied to it; and no file is written that
// would be too large to read back.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "blocker/text_encoding.h"

namespace quellix {

class UrlList;

// The platform's files. Paths are UTF-8.
class FileStore {
public:
    // kBusy: another program holds the file open (a scanner, a backup tool, an editor).
    enum class ReadResult { kOk, kNotFound, kBusy, kTooLarge, kFailed };

    // Reads the whole file, unless it is larger than `maxBytes`.
    virtual ReadResult Read(const std::string& path, std::size_t maxBytes, std::string& bytes) = 0;
    // When the file was last written, in units that grow with time; nothing if unknown.
    virtual std::optional<std::uint64_t> Modified(const std::string& path) = 0;
    // Creates or truncates the file, writes all of it and flushes it to disk.
    virtual bool Write(const std::string& path, std::string_view bytes) = 0;
    // Puts `from` in the place of `to` in one step, replacing what was there.
    virtual bool Replace(const std::string& from, const std::string& to) = 0;
    virtual bool Remove(const std::string& path) = 0;
    // Creates a folder and any missing parents; true when it exists afterwards.
    virtual bool CreateFolder(const std::string& path) = 0;
    // Whether two paths name the same file, as the file system compares names.
    virtual bool SamePath(const std::string& a, const std::string& b) = 0;
    // Waits before another try at a file that is busy.
    virtual void Pause(unsigned milliseconds) = 0;

protected:
    ~FileStore() = default;
};

struct ListLocation {
    std::string programCopy;  // <program folder>\Allow.txt
    std::string userFolder;   // e.g. %LOCALAPPDATA%\Quellix
    std::string userCopy;     // <user folder>\Allow.txt
    // <user folder>\Allow.taken.txt: the program folder's entries that the user's copy has
    // taken in. Empty: no record is kept.
    std::string takenCopy = {};
};

// <program folder>\<file name>, and the same name in the per-user folder with its record.
ListLocation ListLocationFor(std::string_view programFolder, std::string_view userFolder, std::string_view fileName);

// Calls `field` for every field of the text, in order. Stops early when it returns false.
void SplitListFields(std::string_view text, const std::function<bool(std::string_view)>& field);
// One entry as the file holds it, with its line end.
void AppendListEntry(std::string& text, std::string_view entry);

class ListFile {
public:
    // A larger file is not read: the list could not hold it anyway.
    static constexpr std::size_t kMaxFileBytes = 32 * 1024 * 1024;
    // How long a busy file is tried again, and how often.
    static constexpr unsigned kPatienceMs = 1000;
    static constexpr unsigned kRetryMs = 100;

    enum class LoadResult { kLoaded, kCreated, kUnreadable };
    enum class SaveResult { kUnchanged, kSaved, kSavedForUser, kFailed };

    ListFile(FileStore& files, CodePage& codePage, ListLocation location);

    // Fills the (empty) list from the user's copy and what the program's adds to it, or,
    // without a user's copy, from the program's. A missing file is created empty. A copy
    // that cannot be read leaves the list empty and is read again at the save.
    LoadResult Load(UrlList& list);

    // Writes the list back if it changed since it was loaded: to a new file that then takes
    // the old one's place, so that a failed save leaves the previous file whole. The file
    // as it is now is the base: what the list added since is appended, what it removed
    // goes, and every other entry of the file stays where it is. An entry removed from the
    // file by hand and then removed and added again in the program is written.
    SaveResult Save(const UrlList& list);

private:
    struct Copy;

    std::vector<Copy> ReadCopies();
    FileStore::ReadResult ReadPatiently(const std::string& path, std::string& bytes);
    void Take(std::string_view bytes, UrlList& list);
    void TakeProgramCopy(const Copy& program, const Copy& own, UrlList& list);
    bool ProgramCopyUnchanged();
    std::optional<std::string> TextToSave(const UrlList& list);
    std::string MergeWithFile(std::string_view fileText, const UrlList& list);
    bool SaveTo(const std::string& path, std::string_view bytes);

    FileStore& m_files;
    CodePage& m_codePage;
    ListLocation m_location;
    TextEncoding m_encoding = TextEncoding::kCodePage;
    // Entries of the file that the list does not hold (beyond its size, too long, or added
    // to the file by hand while the program ran), and entries the list holds that were
    // removed from the file by hand: neither is lost or brought back at the next save.
    std::vector<std::string> m_unheld;
    std::vector<std::string> m_lostFromFile;
    // The copy the list was read from, or that could not be read and must be read at the
    // save (m_pending): a save writes no copy it could not read.
    std::string m_source;
    // What m_source held when this program last read or wrote it (empty while pending), to
    // tell a hand edit made meanwhile.
    std::string m_sourceBytes;
    std::optional<std::uint64_t> m_sourceModified;
    bool m_pending = false;
    std::uint64_t m_savedRevision = 0;
    // With the user's copy as the list: the program folder's copy as it was when the list
    // took its entries in (kOk, or kNotFound when there was none; kFailed when it took
    // nothing), which a save may replace only while it is still so.
    FileStore::ReadResult m_programRead = FileStore::ReadResult::kFailed;
    std::string m_programBytes;
    // What the record is to say at the next save to the user's copy: nothing leaves it as
    // it is.
    std::optional<std::string> m_taken;
};

}  // namespace quellix
