// What the converter keeps from one Convert click to the next: the maximum
// of each kind, the record tables the last click made, and the progress
// shared by every job. The window owns one and hands it to the jobs; tests
// make their own.
#pragma once

#include <cstdint>
#include <vector>

#include "converter/item_record.h"
#include "converter/npc_record.h"
#include "converter/sign_record.h"
#include "converter/spell_record.h"

namespace vostrel {

struct ConverterState {
  // Set by each page's Convert click and read by its job.
  int16_t MaxItems = 0, MaxSpells = 0, MaxSigns = 0, MaxShops = 0, MaxNPCs = 0, MaxMaps = 0;

  // Indexed 1 to the kind's maximum (element 0 unused), made anew by each
  // Convert click.
  std::vector<ItemRec> ItemTable;
  std::vector<SpellRec> SpellTable;
  std::vector<SignRec> SignTable;
  std::vector<NPCRec> NPCTable;

  // The last percentage a job reported.
  uint8_t ProgressPercent = 0;
};

}  // namespace vostrel
