// Any text given to the configuration-file reader is refused or accepted without a crash, and
// an accepted file saves and reads back to the same configuration and the same written bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "configfile/configuration_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    rv::ConfigurationFile file;
    if (!rv::ParseConfiguration(text, file).ok) return 0;
    rv::ConfigurationFile again;
    const std::string saved = rv::FormatConfiguration(file.Image, file.Instrument, file.SavedAt);
    if (!rv::ParseConfiguration(saved, again).ok) std::abort();
    // A file's raw bytes may disagree with its named fields; what a write sends may not change.
    if (!(again.Image == file.Image)) std::abort();
    if (rv::WrittenData(again.Image, again.Instrument.Raw) !=
        rv::WrittenData(file.Image, file.Instrument.Raw))
        std::abort();
    return 0;
}
