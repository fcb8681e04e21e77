#pragma once

#include <string>
#include <vector>

#include "config/image.h"
#include "config/transfer.h"

namespace rv {

// One setting that two configurations hold differently.
struct FieldDifference {
    int channel = 0;    // 1..8; 0 for a setting of the whole instrument
    std::string field;  // named as the window labels it (UTF-8)
    std::string left;   // value in the first configuration, as text
    std::string right;  // value in the second

    friend bool operator==(const FieldDifference&, const FieldDifference&) = default;
};

// Every setting the configuration write sends that differs, channel by channel in the order
// of the page, then the used channels, the display period and the relay table. Reals are
// compared as the instrument stores them and shown in their shortest exact text.
std::vector<FieldDifference> CompareConfigurations(const ConfigImage& left,
                                                   const ConfigImage& right);

// The settings the password and network dialog writes, named as that dialog labels them:
// the network number, the interface speed and the password, whose digits are never shown
// (a changed password reads "прежний" against "новый").
std::vector<FieldDifference> CompareNetworkSettings(const ConfigImage& left,
                                                    const ConfigImage& right);

// One setting of a configuration, named as CompareConfigurations names it.
struct FieldValue {
    int channel = 0;  // 1..8; 0 for a setting of the whole instrument
    std::string field;
    std::string value;
};

// Every setting the configuration write sends, in the order CompareConfigurations lists
// differences.
std::vector<FieldValue> ConfigurationFields(const ConfigImage& image);

// What a file says of the instrument it came from.
InstrumentIdentity IdentityOf(const ConfigImage& image, const std::string& family);

// One line (Russian) per way the instrument about to be written differs from the one a
// configuration came from: family answer, model (fitted channels) and relay mask. `where`
// names the configuration's side ("в файле", "в окне").
std::vector<std::string> IdentityDifferences(const InstrumentIdentity& file,
                                             const InstrumentIdentity& instrument,
                                             const std::string& where = "в файле");

}  // namespace rv
