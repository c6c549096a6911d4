// What the benchmark times: the tools' jobs, called through the same module
// functions the windows call, and their raw floors. Each function runs in a
// measuring child, sets itself up untimed and returns the seconds of its
// timed part; it throws when the work did not come out as expected.
#pragma once

#include <string>
#include <vector>

namespace bench {

// The seven conversion jobs of the converter.
enum class Conversion { kItems, kSpells, kNPCs, kShops, kSigns, kMaps, kMaps98 };

struct ConversionInfo {
  Conversion job;
  const char* name;    // as the table shows it
  const char* source;  // legacy file read by the job ("" for the maps)
  const char* output;  // output folder in the server folder
};

const std::vector<ConversionInfo>& Conversions();

// Converts records 1 to `max` of the server folder `folder` as a Convert
// click does. With `eventLoop`, a QApplication runs (offscreen) and the job
// lets it process pending events once per record, its progress going to a
// shown progress bar, as in the window; without, both steps are left out.
double RunConversion(const ConversionInfo& job, const std::string& folder, int max, bool eventLoop);

// The floor of `job`: produces the files held in `reference` (the job's own
// earlier output) in the job's output folder.
double RunConversionFloor(const ConversionInfo& job, const std::string& folder,
                          const std::string& reference, int max);

// Lists the Accounts folder `iterations` times; seconds per listing.
double RunListing(const std::string& folder, int accounts, int iterations);
double RunListingFloor(const std::string& folder, int accounts, int iterations);

// Shows the given accounts one after the other; seconds per account.
double RunShow(const std::string& folder, const std::vector<int>& accounts);
double RunShowFloor(const std::string& folder, const std::vector<int>& accounts, int itemFiles);

// Lists the accounts (untimed), then wipes every inventory.
double RunWipe(const std::string& folder, int accounts);
double RunWipeFloor(const std::string& folder, int accounts, int itemFiles);

}  // namespace bench
