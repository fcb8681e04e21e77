#include "protocol.h"

#include <charconv>

#include "block_map.h"

namespace rv::sim {

bool FrameReader::feed(uint8_t byte) {
    if (byte == 0xFF) {
        state_ = State::AfterLead;
        return false;
    }
    if (byte == ':') {
        sawLead_ = state_ == State::AfterLead;
        state_ = State::InFrame;
        body_.clear();
        return false;
    }
    if (state_ != State::InFrame) {
        state_ = State::Idle;
        return false;
    }
    if (byte == '\r') {
        state_ = State::Idle;
        return true;
    }
    if (body_.size() >= kMaxFrameBody) {
        state_ = State::Idle;
        body_.clear();
        return false;
    }
    body_.push_back(static_cast<char>(byte));
    return false;
}

namespace {

bool isDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

bool toUnsigned(std::string_view text, unsigned max, unsigned& value) {
    if (!isDigits(text) || text.size() > 9) return false;
    unsigned v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    if (v > max) return false;
    value = v;
    return true;
}

}  // namespace

std::optional<Request> parseRequest(std::string_view body) {
    const size_t lastSep = body.rfind(';');
    if (lastSep == std::string_view::npos) return std::nullopt;
    unsigned crc = 0;
    if (!toUnsigned(body.substr(lastSep + 1), 0xFFFF, crc)) return std::nullopt;
    const std::string_view covered = body.substr(0, lastSep + 1);
    if (FrameCrc(covered) != crc) return std::nullopt;

    const size_t netSep = covered.find(';');
    Request request;
    if (!toUnsigned(covered.substr(0, netSep), 0xFFFF, request.net)) return std::nullopt;
    request.command = std::string(covered.substr(netSep + 1));
    if (request.command.empty()) return std::nullopt;
    size_t start = 0;
    while (start < request.command.size()) {
        const size_t sep = request.command.find(';', start);
        const std::string_view item = std::string_view(request.command).substr(start, sep - start);
        if (!isDigits(item)) return std::nullopt;
        request.items.emplace_back(item);
        start = sep + 1;
    }
    return request;
}

std::string buildReply(unsigned net, const std::vector<std::string>& fields) {
    std::string covered = std::to_string(net) + ';';
    for (const std::string& field : fields) covered += field + ';';
    return '!' + covered + std::to_string(FrameCrc(covered)) + '\r';
}

}  // namespace rv::sim
