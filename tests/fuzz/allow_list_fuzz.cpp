// The list files under arbitrary input: any bytes read as a file never take the reader
// down or give it an empty, duplicate or oversized entry; and whatever the list, the file
// and the other programs holding it do (a file held at the load or the save, unreadable,
// edited by hand in between, large enough to fill the list), a save loses nothing: every
// entry the file held and every entry added to the list is in the file it writes, and a
// save that fails leaves the file as it was.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <set>

#include "blocker/list_file.h"
#include "blocker/url_list.h"
#include "tests/blocker/fakes.h"

namespace {

using namespace quellix;

const ListLocation kLocation{"P\\Allow.txt", "U", "U\\Allow.txt"};

void ReadAnything(std::string_view bytes)
{
    test::FakeFiles files;
    test::Latin1 codePage;
    files.Put(kLocation.programCopy, std::string(bytes));
    UrlList list;
    ListFile(files, codePage, kLocation).Load(list);
    if (list.Count() > UrlList::kMaxEntries)
        __builtin_trap();
    for (const std::string& entry : list.Entries()) {
        if (entry.empty() || entry.size() > UrlList::kMaxEntryBytes)
            __builtin_trap();
    }
}

std::set<std::string> FieldsOf(std::string_view bytes, CodePage& codePage)
{
    std::set<std::string> fields;
    SplitListFields(DecodeText(bytes, codePage).utf8, [&](std::string_view field) {
        if (!field.empty())
            fields.emplace(field);
        return true;
    });
    return fields;
}

// How long another program holds the file: not at all, for a moment, or past the wait.
unsigned HeldFor(FuzzedDataProvider& data)
{
    static constexpr unsigned kHolds[] = {0, 0, 300, 5'000};
    return kHolds[data.ConsumeIntegralInRange<std::size_t>(0, 3)];
}

void NothingIsLost(FuzzedDataProvider& data)
{
    test::FakeFiles files;
    test::Latin1 codePage;
    // The file as it was: its first bytes choose the encoding; now and then padded with
    // enough lines to fill the list past its size.
    std::string before = data.ConsumeRandomLengthString(64);
    if (data.ConsumeIntegral<std::uint8_t>() == 0xA5) {  // not 0, which a short input gives
        for (std::size_t i = 0; i <= UrlList::kMaxEntries; ++i)
            before += "\r\nh" + std::to_string(i);
    }
    files.Put(kLocation.programCopy, before);
    if (const unsigned held = HeldFor(data))
        files.busy[kLocation.programCopy] = held;
    // A per-user copy is written later, so it is the newer one and the one read.
    const bool userCopy = data.ConsumeBool();
    const std::string source = userCopy ? kLocation.userCopy : kLocation.programCopy;
    if (userCopy)
        files.Put(kLocation.userCopy, data.ConsumeRandomLengthString(32));
    if (data.ConsumeBool())
        files.unreadable.insert(kLocation.userCopy);

    ListFile file(files, codePage, kLocation);
    UrlList list;
    file.Load(list);
    files.busy.clear();
    std::set<std::string> added;
    for (int i = data.ConsumeIntegralInRange(0, 8); i > 0; --i) {
        std::string entry = data.ConsumeRandomLengthString(300);
        if (!entry.empty() && !list.Contains(entry) && list.Append(entry))
            added.insert(std::move(entry));
    }
    if (data.ConsumeBool())  // edited by hand while the program ran
        files.Put(source, data.ConsumeRandomLengthString(64));
    if (const unsigned held = HeldFor(data))
        files.busy[kLocation.programCopy] = held;
    const auto unsaved = files.files;

    const ListFile::SaveResult result = file.Save(list);
    if (result == ListFile::SaveResult::kFailed) {
        if (files.files != unsaved)
            __builtin_trap();
        return;
    }
    if (result == ListFile::SaveResult::kUnchanged)
        return;
    // The program only added: whatever the file it read held when saved is still there.
    const std::string& saved = files.files.at(result == ListFile::SaveResult::kSaved ? kLocation.programCopy
                                                                                     : kLocation.userCopy);
    const std::set<std::string> now = FieldsOf(saved, codePage);
    for (const std::string& entry : FieldsOf(unsaved.at(source), codePage)) {
        if (!now.count(entry))
            __builtin_trap();
    }
    for (const std::string& entry : added) {
        if (!now.count(entry))
            __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ReadAnything(std::string_view(reinterpret_cast<const char*>(data), size));
    FuzzedDataProvider provider(data, size);
    NothingIsLost(provider);
    return 0;
}
