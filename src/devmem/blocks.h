#pragma once

#include "devmem/block_table.h"
#include "link/link.h"

namespace rv {

// Block CRC over the identifier and data bytes (start 0xA55A).
uint16_t BlockCrc(const uint8_t* image, size_t length);

// Reads block `index` into `buffer` from its primary copy, or from the backup copy when the
// primary fails any check. Returns the outcome code, also left in LinkStatus. Adds 2 to
// progressCount whatever happens.
int ReadBlock(Link& link, int index, int& progressCount, BlockBuffer& buffer);

// Writes block `index` from offsets 1..length-1 of `buffer` (identifier and CRC are filled in
// here), byte by byte with every echo checked, one copy after the other. A look at both
// copies first decides the order, so that a read shows at every moment either the contents
// from before the write or the new ones: the primary first when both copies are whole and
// equal or the primary is broken, else the backup first. Returns the outcome code; adds
// 2 * (length + 2) to progressCount (the look at the copies is not counted).
int WriteBlock(Link& link, int index, int& progressCount, BlockBuffer& buffer);

}  // namespace rv
