#pragma once

// The line the line tests run against: twelve simulated instruments of both models at three
// speeds, one of them silent, one with a block bad in both copies and one whose first byte
// write echoes wrong. What each is comes from here, not from the code under test.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace rv::test {

struct TwelveMember {
    unsigned net;
    const char* model;
    uint32_t id;
    unsigned baud;
    const char* faults;  // extra simulator switches
    const char* tag;
};

inline const std::vector<TwelveMember>& TwelveLine() {
    static const std::vector<TwelveMember> members{
        {1, "RV7408", 0x0A0001, 9600, "", "Котёл 1; подача"},
        {2, "RV7406", 0x0A0002, 9600, "", "Котёл 1, \"обратка\""},
        {3, "RV7408", 0x0A0003, 19200, ",password=1234", "Насос 3"},
        {4, "RV7406", 0x0A0004, 19200, "", ""},
        {5, "RV7408", 0x0A0005, 4800, "", "ГВС"},
        {6, "RV7406", 0x0A0006, 4800, ",version=2.10", ""},
        {7, "RV7408", 0x0A0007, 9600, ",silent", "Котёл 2, подача"},
        {8, "RV7408", 0x0A0008, 19200, ",bad-both=5", ""},
        {9, "RV7406", 0x0A0009, 9600, ",bad-echo=1", ""},
        {10, "RV7408", 0x0A000A, 4800, ",password=BEEF", "Котёл 3"},
        {11, "RV7406", 0x0A000B, 19200, "", ""},
        {12, "RV7408", 0x0A000C, 9600, "", ""},
    };
    return members;
}

inline const TwelveMember& Member(unsigned net) { return TwelveLine().at(net - 1); }

inline std::string IdHex(uint32_t id) {
    char text[8];
    std::snprintf(text, sizeof text, "%06X", id);
    return text;
}

// The simulator's --instrument switches of the line.
inline std::vector<std::string> TwelveSetups() {
    std::vector<std::string> setups;
    for (const TwelveMember& m : TwelveLine()) {
        setups.push_back(std::to_string(m.net) + ",model=" + m.model + ",id=0x" + IdHex(m.id) +
                         ",speed=" + std::to_string(m.baud) + m.faults);
    }
    return setups;
}

inline std::string JsonText(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// A line file of the members at `nets` with their tags, written by hand as a user would.
inline std::string TwelveLineFile(const std::string& port, const std::vector<unsigned>& nets) {
    std::string text = "{\n  \"format\": \"rv740x-line\",\n  \"formatVersion\": 1,\n  \"port\": " +
                       JsonText(port) + ",\n  \"instruments\": [\n";
    for (size_t i = 0; i < nets.size(); ++i) {
        const TwelveMember& m = Member(nets[i]);
        text += "    {\"networkNumber\": " + std::to_string(m.net) +
                ", \"speed\": " + std::to_string(m.baud) + ", \"model\": \"" + m.model +
                "\", \"id\": \"" + IdHex(m.id) + "\", \"tag\": " + JsonText(m.tag) + "}" +
                (i + 1 < nets.size() ? ",\n" : "\n");
    }
    return text + "  ]\n}\n";
}

inline std::vector<unsigned> AllTwelve() {
    std::vector<unsigned> nets;
    for (const TwelveMember& m : TwelveLine()) nets.push_back(m.net);
    return nets;
}

}  // namespace rv::test
