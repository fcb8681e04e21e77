// Feeds arbitrary texts to the reply parser. The first byte picks the field count (also
// beyond the 60 allowed), the second the addressed instrument; the rest is the reply.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "link/crc.h"
#include "link/link.h"
#include "link/transact.h"

namespace {

constexpr const char* kUntouched = "untouched";

bool fieldCharacter(char c) { return c == '$' || c == '-' || c == '.' || (c >= '0' && c <= '9'); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static rv::Link link;
    const int fieldCount = data[0] % 64;
    link.NetNumber = data[1];
    for (auto& field : link.ReplyFields) field = kUntouched;
    link.LinkStatus = -1;
    const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

    const bool ok = rv::ParseReply(link, text, fieldCount);
    if (link.LinkStatus != (ok ? 0 : 7)) abort();
    if (ok && fieldCount > rv::kMaxReplyFields) abort();
    for (size_t i = 0; i < link.ReplyFields.size(); ++i) {
        const std::string& field = link.ReplyFields[i];
        if (field.size() > 255) abort();
        if (static_cast<int>(i) >= fieldCount && field != kUntouched) abort();
    }
    if (!ok) return 0;

    // An accepted reply is exactly its echo, its fields and the CRC over them: rebuilding
    // the covered span from the fields must give the checksum the parser accepted.
    std::string covered;
    const size_t bang = text.find('!');
    size_t pos = bang + 1;
    while (text[pos] != ';') ++pos;
    covered.assign(text.substr(bang + 1, pos - bang));
    for (int i = 0; i < fieldCount; ++i) {
        const std::string& field = link.ReplyFields[static_cast<size_t>(i)];
        for (char c : field) {
            if (!fieldCharacter(c)) abort();
        }
        covered += field;
        covered += ';';
    }
    if (text.substr(bang + 1, covered.size()) != covered) abort();
    pos = bang + 1 + covered.size();
    long checksum = 0;
    const size_t cr = text.find('\r', pos);
    if (cr == std::string_view::npos) abort();
    if (!rv::ParseLinkInteger(text.substr(pos, cr - pos), checksum)) abort();
    if (checksum != rv::Crc16(covered, rv::kFrameCrcStart)) abort();
    return 0;
}
