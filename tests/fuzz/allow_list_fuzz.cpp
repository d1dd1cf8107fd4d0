// Feeds arbitrary bytes to the allow-list reader as the file "Allow.txt".
#include <cstddef>
#include <cstdint>

#include "blocker/allow_file.h"
#include "blocker/url_list.h"
#include "tests/blocker/fakes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quellix;
    test::FakeFiles files;
    test::Latin1 codePage;
    const AllowListLocation location{"/p/Allow.txt", "/u", "/u/Allow.txt"};
    files.files[location.programCopy].assign(reinterpret_cast<const char*>(data), size);

    UrlList list;
    LoadAllowList(list, files, codePage, location);
    if (list.Count() > UrlList::kMaxEntries)
        __builtin_trap();
    for (const std::string& entry : list.Entries()) {
        if (entry.empty())
            __builtin_trap();
    }
    // Every entry that holds no delimiter and no surrounding blank must come back from a
    // save and a second load.
    SaveAllowList(list, files, codePage, location);
    UrlList again;
    LoadAllowList(again, files, codePage, location);
    if (again.Full())
        return 0;
    for (const std::string& entry : list.Entries()) {
        const bool plain = entry.find_first_of(",\"\r\n") == std::string::npos &&
                           entry.find_first_not_of(" \t") == 0 && entry.find_last_not_of(" \t") == entry.size() - 1;
        if (plain && !again.Contains(entry))
            __builtin_trap();
    }
    return 0;
}
