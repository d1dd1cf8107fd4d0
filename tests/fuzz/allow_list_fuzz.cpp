// The list files under arbitrary input: any bytes read as a file never take the reader
// down or give it an empty, duplicate or oversized entry; and for any list, what a save
// writes reads back as the very same list, whatever encoding the file was in before.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>

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

void SaveThenLoad(FuzzedDataProvider& data)
{
    test::FakeFiles files;
    test::Latin1 codePage;
    // The file as it was: its first bytes choose the encoding the save keeps.
    files.Put(kLocation.programCopy, data.ConsumeRandomLengthString(16));
    ListFile file(files, codePage, kLocation);
    UrlList list;
    file.Load(list);
    while (!list.Empty())
        list.Remove(0);
    while (data.remaining_bytes() > 0) {
        std::string entry = data.ConsumeRandomLengthString(300);
        if (!entry.empty() && !list.Contains(entry))
            list.Append(std::move(entry));
    }
    if (file.Save(list) == ListFile::SaveResult::kFailed)
        __builtin_trap();
    UrlList again;
    ListFile(files, codePage, kLocation).Load(again);
    if (again.Entries() != list.Entries())
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ReadAnything(std::string_view(reinterpret_cast<const char*>(data), size));
    FuzzedDataProvider provider(data, size);
    SaveThenLoad(provider);
    return 0;
}
