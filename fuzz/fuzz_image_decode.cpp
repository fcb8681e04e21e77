// Decodes arbitrary bytes as a block of the configuration image. The first byte picks the
// block; the rest are its data bytes, given the block's identifier and a matching CRC as a
// read would have checked them. Encoding the image back into the same bytes must change
// none of them: a block read and written unchanged goes back byte for byte.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "channel/fields.h"
#include "config/image.h"
#include "devmem/block_table.h"
#include "devmem/blocks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int index = data[0] % static_cast<int>(rv::BlockTable.size());
    const rv::BlockInfo& block = rv::BlockTable[static_cast<size_t>(index)];
    rv::BlockBuffer bytes{};
    for (size_t i = 1; i < block.length && i < size; ++i) bytes[i] = data[i];
    bytes[0] = static_cast<uint8_t>(block.id);
    const uint16_t crc = rv::BlockCrc(bytes.data(), block.length);
    bytes[block.length] = static_cast<uint8_t>(crc);
    bytes[block.length + 1] = static_cast<uint8_t>(crc >> 8);

    rv::ConfigImage image;
    image.DecodeBlock(index, bytes);
    rv::BlockBuffer again = bytes;
    image.EncodeBlock(index, again);
    if (again != bytes) abort();

    // Every value decoded into a channel can be shown in its field.
    const int channel = index >= 3 && index <= 10    ? index - 3
                        : index >= 11 && index <= 18 ? index - 11
                                                     : -1;
    if (channel >= 0) {
        const rv::ChannelConfig& c = image.Channels[static_cast<size_t>(channel)];
        for (const rv::WorkingReal* real :
             {&c.Rt0, &c.RLine, &c.Delta, &c.Diap1, &c.Diap2, &c.Gist1, &c.Gist2, &c.Ustav1,
              &c.Ustav2, &c.AlarmLow, &c.AlarmHigh}) {
            if (rv::FormatRealField(*real, 5).size() > 64) abort();
        }
        long usred = -1;
        if (!rv::ParseIntegerField(rv::FormatIntegerField(c.Usred), usred) || usred != c.Usred)
            abort();
    }
    return 0;
}
