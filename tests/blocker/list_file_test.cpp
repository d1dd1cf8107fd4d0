#include "blocker/list_file.h"

#include <gtest/gtest.h>

#include "blocker/url_list.h"
#include "tests/blocker/fakes.h"

namespace quellix::test {
namespace {

using namespace std::string_literals;

using Strings = std::vector<std::string>;

std::vector<std::string> Fields(std::string_view text)
{
    std::vector<std::string> fields;
    SplitListFields(text, [&](std::string_view field) {
        fields.emplace_back(field);
        return true;
    });
    return fields;
}

TEST(ListFormatTest, FieldsEndAtCommasAndAtEveryKindOfLineEnd)
{
    EXPECT_EQ(Fields("a,b\r\nc\nd\re"), (Strings{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(Fields("a\r\n"), (Strings{"a"}));
    EXPECT_EQ(Fields("a,,b"), (Strings{"a", "", "b"}));
    EXPECT_EQ(Fields(""), Strings{});
}

TEST(ListFormatTest, BlanksBeforeAFieldAreSkippedAndQuotesProtectCommasAndQuotes)
{
    EXPECT_EQ(Fields("  \thttp://a/ , \"http://b/?x=1,2\"\r\n"), (Strings{"http://a/", "http://b/?x=1,2"}));
    EXPECT_EQ(Fields("\" padded \""), (Strings{" padded "}));
    EXPECT_EQ(Fields("\"say \"\"hi\"\"\",b"), (Strings{"say \"hi\"", "b"}));
    // After the closing quote, the rest up to the delimiter is dropped.
    EXPECT_EQ(Fields("\"a\"junk,b"), (Strings{"a", "b"}));
    // An unterminated quote runs to the end of the text.
    EXPECT_EQ(Fields("x,\"open,end\r\nmore"), (Strings{"x", "open,end\r\nmore"}));
}

class ListFileTest : public ::testing::Test {
protected:
    static constexpr const char* kProgram = "C:\\Prog\\Allow.txt";
    static constexpr const char* kUser = "C:\\Users\\u\\Quellix\\Allow.txt";

    ListFile File()
    {
        return ListFile(files, codePage, ListLocationFor("C:\\Prog", "C:\\Users\\u\\Quellix", "Allow.txt"));
    }

    Strings Load()
    {
        UrlList list;
        File().Load(list);
        return list.Entries();
    }

    static UrlList ListOf(const Strings& entries)
    {
        UrlList list;
        for (const std::string& entry : entries)
            list.Append(entry);
        return list;
    }

    // A new list in place of what the file held, as the user would make it.
    ListFile::SaveResult Save(const Strings& entries)
    {
        ListFile file = File();
        UrlList list;
        file.Load(list);
        while (!list.Empty())
            list.Remove(0);
        for (const std::string& entry : entries)
            list.Append(entry);
        return file.Save(list);
    }

    FakeFiles files;
    Latin1 codePage;
};

TEST_F(ListFileTest, ReadingSkipsDuplicatesAndEmptyFieldsButKeepsLetterCase)
{
    files.Put(kProgram, "http://a/\r\n\r\nhttp://a/\r\n,,http://A/\r\n");
    EXPECT_EQ(Load(), (Strings{"http://a/", "http://A/"}));
    ASSERT_EQ(Save({"http://a/", "http://A/", "http://b/"}), ListFile::SaveResult::kSaved);
    EXPECT_EQ(files.files.at(kProgram), "http://a/\r\nhttp://A/\r\nhttp://b/\r\n") << "the file's twice, once";
}

TEST_F(ListFileTest, EveryEntryComesBackWhateverItHoldsAndOldFilesReadAsBefore)
{
    const Strings entries = {"http://z/", "http://a/?q=x,y", " padded\t", "say \"hi\"", "two\r\nlines", "trailing "};
    ASSERT_EQ(Save(entries), ListFile::SaveResult::kSaved);
    EXPECT_EQ(files.files.at(kProgram),
              "http://z/\r\n\"http://a/?q=x,y\"\r\n\" padded\t\"\r\n\"say \"\"hi\"\"\"\r\n\"two\r\nlines\"\r\n"
              "\"trailing \"\r\n");
    EXPECT_EQ(Load(), entries);
    EXPECT_EQ(files.files.size(), 1u) << "no temporary file is left behind";
}

TEST_F(ListFileTest, AnEmptyListGivesAnEmptyFileAndAMissingFileIsCreatedEmpty)
{
    EXPECT_TRUE(Load().empty());
    EXPECT_EQ(files.files.at(kProgram), "");
    files.Put(kProgram, "http://a/\r\n");
    ASSERT_EQ(Save({}), ListFile::SaveResult::kSaved);
    EXPECT_EQ(files.files.at(kProgram), "");
}

TEST_F(ListFileTest, EachEncodingIsReadAndWrittenBackWithoutLosingACharacter)
{
    const std::string cafe = "http://caf\xC3\xA9.example/", example = "http://\xE4\xBE\x8B.example/";  // é, 例
    const struct {
        std::string file;
        std::string written;
    } cases[] = {
        {"http://caf\xE9.example/\r\n", "http://caf\xE9.example/\r\n"},  // the code page
        {cafe + "\r\n", cafe + "\r\n"},                                  // UTF-8, no mark
        {"\xFF\xFEh\0t\0t\0p\0:\0/\0/\0\x8B\x4F\r\0\n\0"s, "\xFF\xFEh\0t\0t\0p\0:\0/\0/\0\x8B\x4F\r\0\n\0"s},  // UTF-16
        {"\xFE\xFF\0h\0t\0t\0p\0:\0/\0/\x4F\x8B\0\r\0\n"s,
         "\xFE\xFF\0h\0t\0t\0p\0:\0/\0/\x4F\x8B\0\r\0\n"s},  // big-endian
    };
    for (const auto& [file, written] : cases) {
        files.Put(kProgram, file);
        const Strings loaded = Load();
        ASSERT_EQ(loaded.size(), 1u);
        EXPECT_NE(loaded[0].find("http://"), std::string::npos) << loaded[0];
        ASSERT_EQ(Save(loaded), ListFile::SaveResult::kSaved);
        EXPECT_EQ(files.files.at(kProgram), written);
    }
    // Half a UTF-16 unit at the end, and an overlong UTF-8 form (no UTF-8, so the code
    // page's), read without losing a byte; 8-bit text that would read back as UTF-8 is
    // written as UTF-8.
    files.Put(kProgram, "\xFF\xFEx\0\r\0\n\0y"s);
    EXPECT_EQ(Load(), (Strings{"x", "y"}));
    files.Put(kProgram, "http://a/\xC0\xAF\r\n");
    EXPECT_EQ(Load(), Strings{"http://a/\xC3\x80\xC2\xAF"});
    ASSERT_EQ(Save({"http://a/", "\xC3\x83\xC2\xA9"}), ListFile::SaveResult::kSaved);
    EXPECT_EQ(Load(), (Strings{"http://a/", "\xC3\x83\xC2\xA9"}));
    // Plain ASCII is 8-bit text: a character the code page has stays one byte.
    files.Put(kProgram, "http://a/\r\n");
    ASSERT_EQ(Save({"http://a/", cafe}), ListFile::SaveResult::kSaved);
    EXPECT_EQ(files.files.at(kProgram), "http://a/\r\nhttp://caf\xE9.example/\r\n");
    // A character the code page lacks turns an 8-bit file into UTF-8 behind a mark.
    files.Put(kProgram, "http://caf\xE9.example/\r\n");
    ASSERT_EQ(Save({cafe, example}), ListFile::SaveResult::kSaved);
    EXPECT_EQ(files.files.at(kProgram), std::string(kUtf8Mark) + cafe + "\r\n" + example + "\r\n");
    EXPECT_EQ(Load(), (Strings{cafe, example}));
}

TEST_F(ListFileTest, WhatTheListCannotHoldStaysInTheFile)
{
    std::string text;
    for (int i = 0; i < 40'000; ++i)
        text += "http://site" + std::to_string(i) + "/\r\n";
    text += std::string(UrlList::kMaxEntryBytes + 1, 'x') + "\r\n";
    files.Put(kProgram, text);

    ListFile file = File();
    UrlList list;
    ASSERT_EQ(file.Load(list), ListFile::LoadResult::kLoaded);
    ASSERT_EQ(list.Count(), UrlList::kMaxEntries);
    EXPECT_EQ(list.Entries().back(), "http://site32766/");
    EXPECT_EQ(file.Save(list), ListFile::SaveResult::kUnchanged);
    // Sizes first: a failure then does not print two megabytes.
    ASSERT_EQ(files.files.at(kProgram).size(), text.size());
    EXPECT_TRUE(files.files.at(kProgram) == text);

    list.Remove(0);
    ASSERT_EQ(file.Save(list), ListFile::SaveResult::kSaved);
    const std::string rest = text.substr(text.find('\n') + 1);
    ASSERT_EQ(files.files.at(kProgram).size(), rest.size()) << "only the removed entry is gone";
    EXPECT_TRUE(files.files.at(kProgram) == rest);

    // Nor is one of the program folder's copy, beside a user's: the save goes to the user's.
    const std::string program = "http://p/\r\n" + std::string(UrlList::kMaxEntryBytes + 1, 'x') + "\r\n";
    files.Put(kUser, "http://u/\r\n");
    files.Put(kProgram, program);
    EXPECT_EQ(Save({"http://p/"}), ListFile::SaveResult::kSavedForUser);
    EXPECT_EQ(files.files.at(kProgram), program);
}

TEST_F(ListFileTest, AFailedSaveLeavesThePreviousFileWhole)
{
    files.Put(kProgram, "http://old/\r\n");
    files.readOnly.insert("C:\\Users\\");
    files.writeBudget = 5;  // the disk fills up part-way
    EXPECT_EQ(Save({"http://new-and-long/"}), ListFile::SaveResult::kFailed);
    EXPECT_EQ(files.files.at(kProgram), "http://old/\r\n");
    EXPECT_EQ(files.files.size(), 1u) << "the partial new file is removed";
}

// Where the list is read from and written to, for every state of the two copies.
TEST_F(ListFileTest, TheUsersCopyIsReadWithWhatTheProgramsAddsAndNoCopyIsLostOrOverwrittenUnread)
{
    enum Copy { kNone, kOld, kNew, kLocked, kHeld300, kUnreadable, kUnknownAge };
    const struct {
        Copy program, user;
        bool programReadOnly;
        Strings loaded;
        const char* savedIn;  // where "added" ends up
        bool userCopyLeft;
    } cases[] = {
        {kNone, kNone, false, {}, kProgram, false},
        {kNew, kNone, false, {"program"}, kProgram, false},
        {kNone, kNew, false, {"user"}, kProgram, false},
        {kOld, kNew, false, {"user"}, kProgram, false},             // a save that fell back, then the folder came back
        {kNew, kOld, false, {"user", "program"}, kProgram, false},  // an administrator's save adds to the user's
        {kOld, kNew, true, {"user"}, kUser, true},                  // a read-only program folder
        {kHeld300, kNone, false, {"program"}, kProgram, false},     // held by a scanner for a moment
        {kLocked, kOld, false, {"user"}, kUser, true},              // held all along: never overwritten unread
        {kOld, kLocked, false, {}, nullptr, true},                  // the user's held: read nothing, write nothing
        {kUnreadable, kNew, false, {"user"}, kUser, true},
        {kUnknownAge, kNew, false, {"user", "program"}, kProgram, false},  // of unknown age: maybe the newer
        {kNew, kUnknownAge, false, {"user", "program"}, kProgram, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "program " << c.program << ", user " << c.user);
        files = FakeFiles();
        for (const auto& [copy, path, text] : {std::tuple{c.program, kProgram, "program"}, {c.user, kUser, "user"}}) {
            if (copy != kNone)
                files.files[path] = std::string(text) + "\r\n";
        }
        // Times in the order of the cases' words: what is new was written last.
        for (const Copy state : {kOld, kUnreadable, kLocked, kHeld300, kNew}) {
            for (const auto& [copy, path] : {std::pair{c.program, kProgram}, {c.user, kUser}}) {
                if (copy == state)
                    files.modified[path] = files.modified.size() + 10;
            }
        }
        for (const auto& [copy, path] : {std::pair{c.program, kProgram}, {c.user, kUser}}) {
            if (copy == kLocked)
                files.busy[path] = 1'000'000;
            if (copy == kHeld300)
                files.busy[path] = 300;
            if (copy == kUnreadable)
                files.unreadable.insert(path);
        }
        if (c.programReadOnly)
            files.readOnly.insert("C:\\Prog\\");

        ListFile file = File();
        UrlList list;
        file.Load(list);
        EXPECT_EQ(list.Entries(), c.loaded);
        const auto before = files.files;
        list.Append("added");
        file.Save(list);
        if (!c.savedIn) {
            EXPECT_EQ(files.files, before);
            continue;
        }
        Strings expected = c.loaded;
        expected.push_back("added");
        std::string text;
        for (const std::string& entry : expected)
            text += entry + "\r\n";
        EXPECT_EQ(files.files.at(c.savedIn), text);
        EXPECT_EQ(files.files.count(kUser) != 0, c.userCopyLeft || c.savedIn == std::string(kUser));
    }
}

// An installation for every user: the program's folder is the administrators' to write.
TEST_F(ListFileTest, AnAdministratorsCopyAddsToTheUsersButBringsNothingBackAndAHandEditOfItIsKept)
{
    files.Put(kProgram, "http://a/\r\nhttp://b/\r\n");
    files.readOnly.insert("C:\\Prog\\");
    ASSERT_EQ(Save({"http://a/", "http://mine/"}), ListFile::SaveResult::kSavedForUser);  // b removed
    files.readOnly.clear();
    files.Put(kProgram, "http://a/\r\nhttp://b/\r\nhttp://new/\r\n");  // an administrator's save
    EXPECT_EQ(Load(), (Strings{"http://a/", "http://mine/", "http://new/"}));

    // The program's copy edited by hand while the user's is the list: left as it is, and
    // taken in at the next start.
    ListFile file = File();
    UrlList list;
    file.Load(list);
    files.Put(kProgram, "http://hand/\r\n");
    list.Append("http://x/");
    ASSERT_EQ(file.Save(list), ListFile::SaveResult::kSavedForUser);
    EXPECT_EQ(files.files.at(kProgram), "http://hand/\r\n");
    EXPECT_EQ(Load(), (Strings{"http://a/", "http://mine/", "http://new/", "http://x/", "http://hand/"}));
}

TEST_F(ListFileTest, AFileHeldAtStartIsMergedAtTheSaveAndOneCopyInTwoSpellingsIsOne)
{
    // Its last line without a line end, or inside a quote never closed: the entries added
    // meanwhile still read back as entries of their own.
    for (const auto& [held, heldEntry] :
         {std::pair{"http://mine/", "http://mine/"}, {"\"http://open/", "http://open/"}}) {
        files = FakeFiles();
        files.Put(kProgram, held);
        files.busy[kProgram] = 5'000;  // longer than the start waits
        ListFile file = File();
        UrlList list;
        EXPECT_EQ(file.Load(list), ListFile::LoadResult::kUnreadable);
        EXPECT_TRUE(list.Empty());
        files.busy.clear();
        list.Append("http://new/");
        ASSERT_EQ(file.Save(list), ListFile::SaveResult::kSaved);
        EXPECT_EQ(Load(), (Strings{heldEntry, "http://new/"})) << files.files.at(kProgram);
    }

    // A per-user installation: the program's folder is the per-user folder.
    files = FakeFiles();
    files.Put("c:\\users\\U\\quellix\\Allow.txt", "http://a/\r\n");
    ListFile same(files, codePage, {"c:\\users\\U\\quellix\\Allow.txt", "C:\\Users\\u\\Quellix", kUser});
    UrlList mine;
    same.Load(mine);
    mine.Append("http://b/");
    ASSERT_EQ(same.Save(mine), ListFile::SaveResult::kSaved);
    EXPECT_EQ(files.files.at("c:\\users\\U\\quellix\\Allow.txt"), "http://a/\r\nhttp://b/\r\n")
        << "the file just written is not removed as an older per-user copy";
}

TEST_F(ListFileTest, EditsMadeByHandWhileTheProgramRunsAreKeptAtEverySave)
{
    files.Put(kProgram, "http://a/\r\nhttp://b/\r\nhttp://c/\r\n");
    ListFile file = File();
    UrlList list;
    file.Load(list);
    files.Put(kProgram, "http://a/\r\nhttp://c/\r\nhttp://hand/\r\n");  // b removed, one added
    list.Remove(2);
    list.Append("http://mine/");
    ASSERT_EQ(file.Save(list), ListFile::SaveResult::kSaved);
    EXPECT_EQ(files.files.at(kProgram), "http://a/\r\nhttp://hand/\r\nhttp://mine/\r\n");

    // The next save neither brings back what the hand removed nor drops what it added.
    list.Append("http://later/");
    ASSERT_EQ(file.Save(list), ListFile::SaveResult::kSaved);
    EXPECT_EQ(files.files.at(kProgram), "http://a/\r\nhttp://hand/\r\nhttp://mine/\r\nhttp://later/\r\n");

    // What this program wrote and the hand removed stays removed, unless it is removed and
    // added again here after the hand removed it.
    files.Put(kProgram, "http://a/\r\nhttp://hand/\r\nhttp://later/\r\n");
    list.Append("http://one/");
    ASSERT_EQ(file.Save(list), ListFile::SaveResult::kSaved);
    EXPECT_EQ(files.files.at(kProgram), "http://a/\r\nhttp://hand/\r\nhttp://later/\r\nhttp://one/\r\n");
    files.Put(kProgram, "http://a/\r\nhttp://hand/\r\nhttp://one/\r\n");
    list.Remove(static_cast<std::size_t>(std::find(list.Entries().begin(), list.Entries().end(), "http://later/") -
                                         list.Entries().begin()));
    list.Append("http://later/");
    ASSERT_EQ(file.Save(list), ListFile::SaveResult::kSaved);
    EXPECT_EQ(files.files.at(kProgram), "http://a/\r\nhttp://hand/\r\nhttp://one/\r\nhttp://later/\r\n");

    // Edited and then held past the save: left as it is.
    files.Put(kProgram, "http://other/\r\n");
    files.busy[kProgram] = 5'000;
    list.Append("http://more/");
    EXPECT_EQ(file.Save(list), ListFile::SaveResult::kFailed);
    EXPECT_EQ(files.files.at(kProgram), "http://other/\r\n");
}

TEST_F(ListFileTest, AListTooLargeToReadBackIsNeverWritten)
{
    const std::string small = "\xFF\xFEs\0\r\0\n\0"s;  // UTF-16: every entry takes twice its bytes
    files.Put(kProgram, small);
    ListFile file = File();
    UrlList list;
    file.Load(list);
    const std::string body(UrlList::kMaxEntryBytes, 'x');
    for (std::size_t i = 0; 2 * i * UrlList::kMaxEntryBytes <= ListFile::kMaxFileBytes; ++i)
        ASSERT_TRUE(list.Append(std::to_string(i) + body.substr(std::to_string(i).size())));
    EXPECT_EQ(file.Save(list), ListFile::SaveResult::kFailed);
    ASSERT_EQ(files.files.at(kProgram).size(), small.size());
    EXPECT_EQ(files.files.at(kProgram), small);
}

}  // namespace
}  // namespace quellix::test
