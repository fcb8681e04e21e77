#include "link/trace.h"

#include <chrono>

#include "fileio/platform_io.h"

namespace rv {

std::string EscapeBytes(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() + 8);
    for (const char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        switch (byte) {
            case '\\':
                text += "\\\\";
                break;
            case '"':
                text += "\\\"";
                break;
            case '\r':
                text += "\\r";
                break;
            case '\n':
                text += "\\n";
                break;
            case '\t':
                text += "\\t";
                break;
            default:
                if (byte >= 0x20 && byte < 0x7F) {
                    text += ch;
                } else {
                    text += "\\x";
                    text += kHex[byte >> 4];
                    text += kHex[byte & 0x0F];
                }
        }
    }
    return text;
}

std::string FormatTraceLine(const TraceRecord& record) {
    std::string line = std::to_string(record.microseconds);
    line += record.direction == TraceRecord::Direction::Sent ? " tx " : " rx ";
    line += std::to_string(record.netNumber);
    line += " \"";
    line += EscapeBytes(record.bytes);
    line += "\" ";
    line += record.outcome;
    line += '\n';
    return line;
}

std::unique_ptr<TraceFile> TraceFile::Open(const std::string& path) {
    if (path == "-") return std::unique_ptr<TraceFile>(new TraceFile(stderr, false));
    std::FILE* file = OpenForWriting(path);
    if (file == nullptr) return nullptr;
    return std::unique_ptr<TraceFile>(new TraceFile(file, true));
}

TraceFile::~TraceFile() {
    if (owned_) std::fclose(file_);
}

void TraceFile::record(const TraceRecord& record) {
    const std::string line = FormatTraceLine(record);
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
}

int64_t TraceClockMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace rv
