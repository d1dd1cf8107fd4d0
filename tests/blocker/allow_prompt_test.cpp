#include "blocker/allow_prompt.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "blocker/url_list.h"
#include "tests/blocker/fakes.h"

namespace quellix::test {
namespace {

class AllowPromptTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        blocked.Append("http://ads.example/");
        blocked.Append("http://tracker.example/");
        allowed.Append("http://news.example/");
    }

    UrlList blocked;
    UrlList allowed;
    FakeShell shell;
    AllowPrompt prompt{blocked, allowed, shell};
};

TEST_F(AllowPromptTest, EachOpeningAsksAboutTheEntrySelectedInItsOwnMode)
{
    blocked.Select(1);
    prompt.Show("Block");
    EXPECT_EQ(prompt.Question(), "Add http://tracker.example/ to Allow list?");
    EXPECT_EQ(prompt.OkCaption(), "Add");

    allowed.Select(0);
    prompt.Show("Allow");
    EXPECT_EQ(prompt.Question(), "Remove http://news.example/ from Allow list?");
    EXPECT_EQ(prompt.OkCaption(), "Remove");

    allowed.Select(std::nullopt);
    prompt.Show("allow");  // anything but "Allow" is Block mode
    EXPECT_FALSE(prompt.AllowMode());
    prompt.Show("Allow");
    EXPECT_EQ(prompt.Question(), "Remove  from Allow list?");
}

TEST_F(AllowPromptTest, AddingAllowsTheBlockedAddressOnceAndKeepsItBlocked)
{
    blocked.Select(0);
    prompt.Show("Block");
    prompt.Ok();
    prompt.Ok();
    EXPECT_EQ(allowed.Entries(), (std::vector<std::string>{"http://news.example/", "http://ads.example/"}));
    EXPECT_EQ(blocked.Count(), 2u);

    blocked.Select(std::nullopt);
    prompt.Show("Block");
    prompt.Ok();
    EXPECT_EQ(allowed.Count(), 2u) << "with no selection nothing is added";
}

TEST_F(AllowPromptTest, RemovingTakesOnlyTheSelectedAllowedAddress)
{
    prompt.Show("Allow");
    prompt.Ok();
    EXPECT_EQ(allowed.Count(), 1u) << "nothing selected, nothing removed";

    allowed.Select(0);
    prompt.Show("Allow");
    prompt.Ok();
    EXPECT_TRUE(allowed.Empty());
    EXPECT_FALSE(allowed.Selected());

    UrlList empty;
    AllowPrompt onEmpty{empty, empty, shell};
    onEmpty.Show("Block");
    onEmpty.Ok();
    EXPECT_TRUE(empty.Empty());

    // A full allow list refuses, and says so.
    while (!allowed.Full())
        allowed.Append("http://" + std::to_string(allowed.Count()) + "/");
    blocked.Select(0);
    prompt.Show("Block");
    EXPECT_FALSE(prompt.Ok());
}

TEST_F(AllowPromptTest, OpenHandsOnlyWebAddressesOfTheDialogsOwnListToTheShell)
{
    blocked.Select(0);
    allowed.Select(0);
    prompt.Show("Block");
    prompt.Open();
    prompt.Show("Allow");
    prompt.Open();
    EXPECT_EQ(shell.opened, (std::vector<std::string>{"http://ads.example/", "http://news.example/"}));

    allowed.Append("file:///C:/evil.exe");
    allowed.Select(1);
    prompt.Show("Allow");
    prompt.Open();
    EXPECT_EQ(shell.opened.size(), 2u);
}

TEST(UrlListTest, RemovingAnEntryKeepsSelectionAndLookupsConsistent)
{
    UrlList list;
    for (const char* text : {"a", "b", "a", "c"})
        list.Append(text);
    list.Select(3);
    list.Remove(0);
    EXPECT_EQ(list.SelectedText(), "c");
    EXPECT_TRUE(list.Contains("a")) << "the second copy is still there";
    list.Remove(1);
    EXPECT_FALSE(list.Contains("a"));
    list.Remove(1);
    EXPECT_FALSE(list.Selected());
    EXPECT_EQ(list.Entries(), (std::vector<std::string>{"b"}));

    list.Select(5);
    EXPECT_FALSE(list.Selected()) << "a position past the end selects nothing";

    EXPECT_TRUE(list.Append(std::string(UrlList::kMaxEntryBytes, 'x')));
    EXPECT_FALSE(list.Append(std::string(UrlList::kMaxEntryBytes + 1, 'x')));
}

// The lookup index against a walk of the entries, through growth and removals anywhere
// (which move later entries up and close gaps in the index's runs).
TEST(UrlListTest, LookupsAgreeWithTheEntriesThroughAppendsAndRemovals)
{
    UrlList list;
    std::uint32_t seed = 7;
    auto next = [&seed](std::uint32_t below) {
        seed = seed * 1103515245 + 12345;
        return (seed >> 16) % below;
    };
    for (int round = 0; round < 3000; ++round) {
        if (list.Empty() || next(3) != 0)
            list.Append("http://site" + std::to_string(next(400)) + "/");
        else
            list.Remove(next(static_cast<std::uint32_t>(list.Count())));
        if (round % 100 == 99) {
            for (int i = 0; i < 400; ++i) {
                const std::string text = "http://site" + std::to_string(i) + "/";
                const auto& entries = list.Entries();
                ASSERT_EQ(list.Contains(text), std::find(entries.begin(), entries.end(), text) != entries.end())
                    << text << " after " << round + 1 << " changes";
            }
        }
    }
}

}  // namespace
}  // namespace quellix::test
