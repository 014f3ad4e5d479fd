// The hive parser on arbitrary bytes: it must never read out of bounds, and whatever it
// accepts must be written back into a text that reads back to the same hive.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/hive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto first =
        orven::hive::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!first.ok) return 0;
    const std::string written = orven::hive::write(first.hive);
    const auto second = orven::hive::parse(written);
    if (!second.ok || !(second.hive == first.hive)) std::abort();
    if (orven::hive::write(second.hive) != written) std::abort();
    return 0;
}
