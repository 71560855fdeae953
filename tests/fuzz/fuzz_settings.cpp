// The settings file: any name and value read back exactly after a restart, and a file of
// any bytes in place of settings.ini neither crashes the start nor stops the next save.
#include <cstddef>
#include <cstdint>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_support.hpp"
#include "platform/key_file_settings.hpp"

using namespace mev;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string folder = fuzz::FreshFolder("settings");
    const std::string file = folder + "/settings.ini";
    if (input.ConsumeBool()) {
        // Whatever was there gives a store that works.
        fuzz::WriteBytes(file, input.ConsumeRemainingBytesAsString());
        CKeyFileSettings store(file);
        for (const std::string& name : store.ListNames("Settings"))
            (void)store.ReadString("Settings", name);
        FUZZ_CHECK(store.WriteString("Settings", "maintab_sel", "1"));
        FUZZ_CHECK(CKeyFileSettings(file).ReadString("Settings", "maintab_sel") == "1");
        return 0;
    }
    const std::string name1 = input.ConsumeRandomLengthString(64);
    const std::string value1 = input.ConsumeRandomLengthString(256);
    const std::string name2 = input.ConsumeRandomLengthString(64);
    const std::string value2 = input.ConsumeRemainingBytesAsString();
    {
        CKeyFileSettings store(file);
        // Only the empty name cannot be stored.
        FUZZ_CHECK(store.WriteString("open_image_with", name1, value1) == !name1.empty());
        FUZZ_CHECK(store.WriteString("Settings", name2, value2) == !name2.empty());
        FUZZ_CHECK(store.WriteString("Settings", "maintab_sel", "2"));
    }
    CKeyFileSettings reread(file);
    if (!name1.empty()) {
        FUZZ_CHECK(reread.ReadString("open_image_with", name1) == value1);
        FUZZ_CHECK(reread.ListNames("open_image_with") == std::vector<std::string>{name1});
    }
    // The last write of "maintab_sel" wins.
    if (!name2.empty() && name2 != "maintab_sel")
        FUZZ_CHECK(reread.ReadString("Settings", name2) == value2);
    FUZZ_CHECK(reread.ReadString("Settings", "maintab_sel") == "2");
    return 0;
}
