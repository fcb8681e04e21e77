#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "config/image.h"
#include "config/transfer.h"
#include "configfile/configuration_file.h"
#include "configfile/difference.h"

namespace rv {

// The copies of the line's instruments. Each instrument has a folder of its own in the
// line's copies folder, named by its model and identification value ("RV7408_0A1B2C"), so
// that its history stays with it when its network number changes. Each copy is a
// configuration file whose name starts with its version number
// ("0003_RV7408_7_0A1B2C_2026-12-07.rv740x.json"). The program only ever adds files there.

// "RV7408_0A1B2C".
std::string InstrumentFolderName(const std::string& model, uint32_t id);

struct StoredVersion {
    size_t number = 0;  // the version number its name starts with
    std::string path;
    ConfigurationFile file;
};

struct InstrumentHistory {
    std::vector<StoredVersion> versions;  // oldest first
    // Copies that could not be read, each with its file and why; they stay where they are.
    std::vector<std::string> problems;
};

// Every version of the instrument's copies. A missing folder is an empty history.
InstrumentHistory LoadHistory(const std::string& copiesFolder, const std::string& model,
                              uint32_t id);

// The newest version that can be read (nothing in `versions` when there is none), without
// reading the older ones.
InstrumentHistory LoadLastVersion(const std::string& copiesFolder, const std::string& model,
                                  uint32_t id);

// The date ("DD.MM.YYYY") of the instrument's newest copy, from its name alone, so that a
// table of many instruments fills without reading their copies; "" when there is none.
std::string LastCopyDate(const std::string& copiesFolder, const std::string& model, uint32_t id);

// A reading as its copy keeps it: the image and record as a configuration file gives them
// back (password zero, the raw blocks as they would be written).
ConfigurationFile StoredForm(const ConfigImage& image, const InstrumentRecord& record);

// What changed from `earlier` to `later`: where the instrument answered (network number and
// speed, named as the password and network dialog names them), its firmware ("Версия") and
// relay mask, every setting the configuration write sends (as the difference window names
// them), then the written blocks whose bytes changed beyond what those settings show. Empty
// when the two are the same reading.
std::vector<FieldDifference> VersionDifferences(const ConfigurationFile& earlier,
                                                const ConfigurationFile& later);

// What keeping a copy of a reading did.
struct KeptCopy {
    bool ok = false;
    std::string error;        // why no copy could be kept (Russian)
    bool newVersion = false;  // false: the reading is the same as the last copy
    std::string path;         // the new copy, or the last one when the reading is the same
    std::string savedAt;      // that copy's time stamp (UTC)
    size_t version = 0;       // its version number, from 1
    std::vector<FieldDifference> changes;  // a new version against the one before
    std::vector<std::string> problems;     // copies of the folder that could not be read
};

// Keeps a copy of a reading of the instrument: a new version in its folder, or nothing when
// the reading is the same as its last copy. Never replaces or removes a file.
KeptCopy KeepCopy(const std::string& copiesFolder, const ConfigImage& image,
                  const InstrumentRecord& record);

// "DD.MM.YYYY" on the local calendar of a UTC stamp "YYYY-MM-DDTHH:MM:SSZ"; the text itself
// when it is no such stamp.
std::string LocalDateOfStamp(const std::string& stamp);
// "DD.MM.YYYY HH:MM" on the local clock of such a stamp; the text itself when it is none.
std::string LocalTimeOfStamp(const std::string& stamp);

// "без изменений с DD.MM.YYYY": the row of an instrument whose reading is its last copy,
// saved at `savedAt`.
std::string UnchangedSinceText(const std::string& savedAt);

}  // namespace rv
