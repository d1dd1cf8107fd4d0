// The costs that users feel: a lookup in a full list, loading a full allow list, and the
// NewWindow decision that a browser waits for.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "blocker/allowed_sites.h"
#include "blocker/list_file.h"
#include "blocker/popup_rules.h"
#include "blocker/protection.h"
#include "blocker/url_list.h"
#include "tests/blocker/fakes.h"

namespace quellix {
namespace {

std::string Address(int i)
{
    return "http://www.site" + std::to_string(i) + ".example.com/landing/page.html?id=" + std::to_string(i * 7);
}

UrlList FullList(int count)
{
    UrlList list;
    for (int i = 0; i < count; ++i)
        list.Append(Address(i));
    return list;
}

// What the list box walk did: compare with every entry in turn, then with the empty text.
bool LinearIsInList(const UrlList& list, std::string_view text)
{
    for (const std::string& entry : list.Entries()) {
        if (entry == text)
            return true;
    }
    return text.empty();
}

void BM_IsInList(benchmark::State& state)
{
    const UrlList list = FullList(static_cast<int>(state.range(0)));
    const std::string absent = Address(1'000'000);
    for (auto _ : state)
        benchmark::DoNotOptimize(IsInList(list, absent));
}
BENCHMARK(BM_IsInList)->Arg(100)->Arg(32'767);

void BM_LinearIsInList(benchmark::State& state)
{
    const UrlList list = FullList(static_cast<int>(state.range(0)));
    const std::string absent = Address(1'000'000);
    for (auto _ : state)
        benchmark::DoNotOptimize(LinearIsInList(list, absent));
}
BENCHMARK(BM_LinearIsInList)->Arg(100)->Arg(32'767);

// The allowed-site test against the exact-address test it runs beside, each on 10,000
// entries: an opener on no allowed site (every label looked up), one on an allowed site,
// and one whose host is written in capitals (normalised first).
void BM_AllowedSite(benchmark::State& state, const char* opener)
{
    AllowedSites sites;
    for (int i = 0; i < 10'000; ++i)
        sites.Add("site" + std::to_string(i) + ".example.com");
    const std::string address = opener;
    for (auto _ : state)
        benchmark::DoNotOptimize(sites.AllowsPagesOf(address));
}
BENCHMARK_CAPTURE(BM_AllowedSite, no_site, "http://www.news.example.org/story/today.html?id=7");
BENCHMARK_CAPTURE(BM_AllowedSite, allowed, "http://www.site77.example.com/landing/page.html?id=539");
BENCHMARK_CAPTURE(BM_AllowedSite, capitals, "http://WWW.News.Example.ORG/story/today.html?id=7");
BENCHMARK(BM_IsInList)->Arg(10'000);

std::string FullFile()
{
    std::string text;
    for (int i = 0; i < static_cast<int>(UrlList::kMaxEntries); ++i)
        text += Address(i) + "\r\n";
    return text;
}

void BM_LoadAllowList(benchmark::State& state)
{
    test::FakeFiles files;
    test::Latin1 codePage;
    const ListLocation location{"P\\Allow.txt", "U", "U\\Allow.txt"};
    files.Put(location.programCopy, FullFile());
    for (auto _ : state) {
        UrlList list;
        ListFile(files, codePage, location).Load(list);
        benchmark::DoNotOptimize(list.Count());
    }
    state.SetLabel("32,767 distinct entries");
}
BENCHMARK(BM_LoadAllowList)->Unit(benchmark::kMillisecond);

// The load as the list box did it: every field looked up by walking the list so far.
void BM_LoadAllowListLinear(benchmark::State& state)
{
    const std::string text = FullFile();
    for (auto _ : state) {
        std::vector<std::string> list;
        SplitListFields(text, [&list](std::string_view field) {
            for (const std::string& entry : list) {
                if (entry == field)
                    return true;
            }
            if (!field.empty())
                list.emplace_back(field);
            return true;
        });
        benchmark::DoNotOptimize(list.size());
    }
}
BENCHMARK(BM_LoadAllowListLinear)->Unit(benchmark::kMillisecond);

// The decision the browser waits for, next to BM_IsInList: NewWindow2 then NewWindow3 with
// the address, refused (list mode, the address listed already), or with NewWindow3 alone.
void BM_NewWindowDecision(benchmark::State& state)
{
    BlockingState blocking;
    Options options;
    options.list = 1;  // no tone, no flash: the decision alone
    test::FakeTicks ticks;
    ticks.now = 1'000'000;
    test::FakeView view;
    test::FakeTray tray;
    test::FakeAlerts alerts;
    UrlList blocked, allowed;
    for (int i = 0; i < 32'767; ++i)
        allowed.Append("http://site" + std::to_string(i) + ".example/");
    AllowedSites sites;
    PopupLog log;
    Protection protection(blocking, options, view, tray, alerts);

    struct IdleKeys final : KeyStateSource {
        std::uint16_t Query(int) override { return 0; }
    } keys;
    PopupRules rules(blocking, options, keys, ticks, {blocked, allowed, sites, log}, protection);
    const bool both = state.range(0) != 0;
    for (auto _ : state) {
        if (both)
            benchmark::DoNotOptimize(rules.NewWindow("http://page.example/", 1));
        benchmark::DoNotOptimize(rules.NewWindow3(0, "http://page.example/", "http://ads.example/win?id=7", 1));
    }
}
BENCHMARK(BM_NewWindowDecision)->ArgName("with_NewWindow2")->Arg(1)->Arg(0);

}  // namespace
}  // namespace quellix

BENCHMARK_MAIN();
