// Shop conversion: section SHOP<N> of shops.ini to the profile file
// Shops\Shop<N>.dat, same section, 52 keys.
#include <string>

#include "common/binary_record.h"
#include "converter/modConvert.h"
#include "converter/record_source.h"

namespace vostrel {

namespace {

constexpr int kShopSlots = 8;
constexpr const char* kSlotStems[] = {"GiveItem",   "GiveValue", "Give2Item",
                                      "Give2Value", "GetItem",   "GetValue"};

// The server expects a number in every trade key, so an empty one becomes "0".
std::string ZeroWhenEmpty(std::string value) { return value.empty() ? "0" : value; }

}  // namespace

void ConvertShop(int32_t n) {
  const std::string relTarget = "Shops\\Shop" + common::Dec(n) + ".dat";
  const std::string target = common::ProgramFolder() + "\\" + relTarget;
  const RecordSource read("\\shops.ini", "SHOP", n);
  const std::string& section = read.section();

  // All 52 keys go into one edit and reach the disk in a single crash-safe
  // write; other keys and sections of an existing shop file are kept. Values
  // are copied as bytes, never parsed.
  common::ProfileEdit edit(target);
  edit.Set(section, "Name", read("Name"));
  edit.Set(section, "JoinSay", read("JoinSay"));
  edit.Set(section, "LeaveSay", read("LeaveSay"));
  edit.Set(section, "FixesItems", ZeroWhenEmpty(read("FixesItems")));
  for (int slot = 1; slot <= kShopSlots; ++slot) {
    for (const char* stem : kSlotStems) {
      const std::string key = stem + common::Dec(slot);
      edit.Set(section, key, ZeroWhenEmpty(read(key)));
    }
  }

  // A shop file that cannot be written must show up among the skipped
  // records rather than pass as converted.
  std::string error;
  if (!edit.Commit(&error)) {
    throw common::RecordFileError("cannot write " + relTarget + (error.empty() ? "" : ": " + error));
  }
}

}  // namespace vostrel
