// Feeds a byte stream to the reply collection of a transaction, cut into pieces as the port
// might deliver them: each piece is a length byte followed by up to that many bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "link/link.h"
#include "link/transact.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    rv::ReplyCollector collector;
    std::string seen;  // every byte delivered, to check the reply against
    size_t pos = 0;
    rv::ReplyCollector::State state = rv::ReplyCollector::State::Collecting;
    while (pos < size && state == rv::ReplyCollector::State::Collecting) {
        const size_t want = data[pos++];
        const size_t take = want < size - pos ? want : size - pos;
        seen.append(reinterpret_cast<const char*>(data + pos), take);
        state = collector.feed(data + pos, take);
        pos += take;

        const std::string& reply = collector.reply();
        if (reply.size() > rv::kReplyLimit) abort();
        if (!collector.started() && !reply.empty()) abort();
        if (collector.started() != (seen.find('!') != std::string::npos)) abort();
        if (collector.started() && (reply.empty() || reply[0] != '!')) abort();
        if (state == rv::ReplyCollector::State::Overflow) {
            if (reply.size() != rv::kReplyLimit) abort();
            break;
        }
        if (reply.size() >= rv::kReplyLimit) abort();
        // The reply is the delivered bytes from the first '!', through the first CR after it.
        if (collector.started()) {
            const size_t bang = seen.find('!');
            const size_t cr = seen.find('\r', bang);
            const size_t end = cr == std::string::npos ? seen.size() : cr + 1;
            if (reply != seen.substr(bang, end - bang)) abort();
            if (collector.ended() != (cr != std::string::npos)) abort();
        }
        if ((state == rv::ReplyCollector::State::Ended) != collector.ended()) abort();
    }

    // Whatever was collected, the parser takes it without fault.
    static rv::Link link;
    rv::ParseReply(link, collector.reply(), 1);
    return 0;
}
