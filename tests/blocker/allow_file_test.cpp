#include "blocker/allow_file.h"

#include <gtest/gtest.h>

#include "blocker/url_list.h"
#include "tests/blocker/fakes.h"

namespace quellix::test {
namespace {

std::vector<std::string> Fields(std::string_view text)
{
    std::vector<std::string> fields;
    SplitAllowListFields(text, [&](std::string_view field) {
        fields.emplace_back(field);
        return true;
    });
    return fields;
}

std::vector<std::string> Read(std::string_view text)
{
    UrlList list;
    ReadAllowList(text, list);
    return list.Entries();
}

using Strings = std::vector<std::string>;

TEST(AllowListFormatTest, FieldsEndAtCommasAndAtEveryKindOfLineEnd)
{
    EXPECT_EQ(Fields("a,b\r\nc\nd\re"), (Strings{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(Fields("a\r\n"), (Strings{"a"}));
    EXPECT_EQ(Fields("a,,b"), (Strings{"a", "", "b"}));
    EXPECT_EQ(Fields(""), Strings{});
}

TEST(AllowListFormatTest, BlanksBeforeAFieldAreSkippedAndQuotesProtectCommas)
{
    EXPECT_EQ(Fields("  \thttp://a/ , \"http://b/?x=1,2\"\r\n"), (Strings{"http://a/", "http://b/?x=1,2"}));
    EXPECT_EQ(Fields("\" padded \""), (Strings{" padded "}));
    // After the closing quote, the rest up to the delimiter is dropped.
    EXPECT_EQ(Fields("\"a\"junk,b"), (Strings{"a", "b"}));
    // An unterminated quote runs to the end of the text.
    EXPECT_EQ(Fields("x,\"open,end\r\nmore"), (Strings{"x", "open,end\r\nmore"}));
}

TEST(AllowListFormatTest, ReadingSkipsDuplicatesAndEmptyFieldsButKeepsLetterCase)
{
    EXPECT_EQ(Read("http://a/\r\n\r\nhttp://a/\r\n,,http://A/\r\n"), (Strings{"http://a/", "http://A/"}));
}

TEST(AllowListFormatTest, AHugeLineIsOneEntryAndLoneCarriageReturnsEndLines)
{
    const std::string huge(10 * 1024 * 1024, 'x');
    const Strings entries = Read(huge + "\r" + "http://b/\r\r");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].size(), huge.size());
    EXPECT_EQ(entries[1], "http://b/");
}

TEST(AllowListFormatTest, ReadingStopsCleanlyWhenTheListIsFull)
{
    std::string text;
    for (int i = 0; i < 40'000; ++i)
        text += "http://site" + std::to_string(i) + "/\r\n";
    const Strings entries = Read(text);
    ASSERT_EQ(entries.size(), UrlList::kMaxEntries);
    EXPECT_EQ(entries.back(), "http://site32766/");
}

class AllowListFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        location.programCopy = "/prog/Allow.txt";
        location.userFolder = "/home/u/Quellix";
        location.userCopy = "/home/u/Quellix/Allow.txt";
    }

    UrlList Load()
    {
        UrlList list;
        LoadAllowList(list, files, codePage, location);
        return list;
    }

    static UrlList ListOf(std::initializer_list<const char*> entries)
    {
        UrlList list;
        for (const char* entry : entries)
            list.Append(entry);
        return list;
    }

    FakeFiles files;
    Latin1 codePage;
    AllowListLocation location;
};

TEST_F(AllowListFileTest, SavingWritesEachEntryUnchangedWithCrLfInListOrder)
{
    ASSERT_TRUE(SaveAllowList(ListOf({"http://z/", "http://a/?q=x,y"}), files, codePage, location));
    EXPECT_EQ(files.files.at(location.programCopy), "http://z/\r\nhttp://a/?q=x,y\r\n");
    EXPECT_EQ(files.files.size(), 1u) << "no temporary file is left behind";

    // The comma splits the address at the next start.
    EXPECT_EQ(Load().Entries(), (Strings{"http://z/", "http://a/?q=x", "y"}));
}

TEST_F(AllowListFileTest, AnEmptyListGivesAnEmptyFileAndAMissingFileIsCreatedEmpty)
{
    ASSERT_TRUE(SaveAllowList(UrlList(), files, codePage, location));
    EXPECT_EQ(files.files.at(location.programCopy), "");

    files.files.clear();
    EXPECT_TRUE(Load().Empty());
    EXPECT_EQ(files.files.at(location.programCopy), "");
}

TEST_F(AllowListFileTest, AFileThatCannotBeReadLeavesTheListEmptyAndTheFileAlone)
{
    files.files[location.programCopy] = "http://a/\r\n";
    files.unreadable.insert(location.programCopy);
    EXPECT_TRUE(Load().Empty());
    EXPECT_EQ(files.files.at(location.programCopy), "http://a/\r\n");
}

TEST_F(AllowListFileTest, AddressesTheCodePageCannotHoldSurviveAsUtf8)
{
    const UrlList latin = ListOf({"http://caf\xC3\xA9.example/"});  // é exists in Latin-1
    ASSERT_TRUE(SaveAllowList(latin, files, codePage, location));
    EXPECT_EQ(files.files.at(location.programCopy), "http://caf\xE9.example/\r\n");
    EXPECT_EQ(Load().Entries(), latin.Entries());

    const UrlList mixed = ListOf({"http://caf\xC3\xA9.example/", "http://\xE4\xBE\x8B.example/"});  // 例
    ASSERT_TRUE(SaveAllowList(mixed, files, codePage, location));
    EXPECT_TRUE(files.files.at(location.programCopy).starts_with(kUtf8Mark));
    EXPECT_EQ(Load().Entries(), mixed.Entries());
}

TEST_F(AllowListFileTest, AFailedSaveLeavesThePreviousFileWhole)
{
    files.files[location.programCopy] = "http://old/\r\n";
    files.readOnly.insert(location.userFolder);
    files.writeBudget = 5;  // the disk fills up part-way
    EXPECT_FALSE(SaveAllowList(ListOf({"http://new-and-long/"}), files, codePage, location));
    EXPECT_EQ(files.files.at(location.programCopy), "http://old/\r\n");
    EXPECT_EQ(files.files.size(), 1u) << "the partial new file is removed";
}

TEST_F(AllowListFileTest, AReadOnlyProgramFolderKeepsTheListInTheUserFolder)
{
    files.files[location.programCopy] = "http://old/\r\n";
    files.readOnly.insert("/prog/");
    ASSERT_TRUE(SaveAllowList(ListOf({"http://kept/"}), files, codePage, location));
    EXPECT_EQ(files.files.at(location.userCopy), "http://kept/\r\n");
    EXPECT_EQ(Load().Entries(), (Strings{"http://kept/"})) << "the per-user copy is read first";

    // Once the program's folder can be written again, it holds the list and the per-user
    // copy goes, so that an outdated copy is never read first.
    files.readOnly.clear();
    ASSERT_TRUE(SaveAllowList(ListOf({"http://newer/"}), files, codePage, location));
    EXPECT_EQ(files.files.count(location.userCopy), 0u);
    EXPECT_EQ(Load().Entries(), (Strings{"http://newer/"}));
}

}  // namespace
}  // namespace quellix::test
