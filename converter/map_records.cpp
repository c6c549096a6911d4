#include "converter/map_records.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "common/binary_record.h"
#include "common/text_util.h"

namespace vostrel {

namespace {

// The header fields both layouts share, up to Byte5. The converted layout
// adds Byte6 after them; the caller handles that.
template <typename Rec>
void ReadSharedHeader(common::RecordReader& in, Rec& rec) {
  const std::string name = in.FixedText(sizeof rec.Name);
  std::copy(name.begin(), name.end(), rec.Name);
  rec.UpdateCount = in.Long();
  rec.Mode = in.Byte();
  rec.Int1 = in.Integer();
  rec.Int2 = in.Integer();
  rec.Int3 = in.Integer();
  rec.Int4 = in.Integer();
  rec.Byte1 = in.Byte();
  rec.Int5 = in.Integer();
  rec.Byte2 = in.Byte();
  rec.Byte3 = in.Byte();
  rec.Byte4 = in.Byte();
  rec.Byte5 = in.Byte();
}

template <typename Rec>
void WriteSharedHeader(common::RecordWriter& out, const Rec& rec) {
  out.Raw(std::string_view(reinterpret_cast<const char*>(rec.Name), sizeof rec.Name));
  out.Long(rec.UpdateCount);
  out.Byte(rec.Mode);
  out.Integer(rec.Int1);
  out.Integer(rec.Int2);
  out.Integer(rec.Int3);
  out.Integer(rec.Int4);
  out.Byte(rec.Byte1);
  out.Integer(rec.Int5);
  out.Byte(rec.Byte2);
  out.Byte(rec.Byte3);
  out.Byte(rec.Byte4);
  out.Byte(rec.Byte5);
}

// The tile fields both layouts share, after the layers: the kind and three
// data values.
template <typename Tile>
void ReadTileData(common::RecordReader& in, Tile& t) {
  t.Kind = in.Byte();
  t.Data1 = in.Integer();
  t.Data2 = in.Integer();
  t.Data3 = in.Integer();
}

template <typename Tile>
void WriteTileData(common::RecordWriter& out, const Tile& t) {
  out.Byte(t.Kind);
  out.Integer(t.Data1);
  out.Integer(t.Data2);
  out.Integer(t.Data3);
}

// The grid is stored with the first subscript varying fastest.
template <typename Rec, typename Visit>
void ForEachTile(Rec& rec, Visit visit) {
  for (int b = 0; b < kMapHeight; ++b) {
    for (int a = 0; a < kMapWidth; ++a) visit(rec.Tile[a][b]);
  }
}

}  // namespace

void DecodeLegacyMap(const uint8_t* data, size_t size, LegacyMapRec& rec) {
  // Bytes past the layout's end belong to no field; bytes the data lacks
  // read as zero, so nothing of a record decoded before survives.
  common::RecordReader in(data, std::min(size, kLegacyMapSize));
  ReadSharedHeader(in, rec);
  ForEachTile(rec, [&in](LegacyTileRec& t) {
    t.Layer1 = in.Integer();
    t.Layer2 = in.Integer();
    t.Layer3 = in.Integer();
    t.Layer4 = in.Integer();
    ReadTileData(in, t);
  });
  for (uint8_t& s : rec.Slot) s = in.Byte();
}

std::vector<uint8_t> EncodeLegacyMap(const LegacyMapRec& rec) {
  common::RecordWriter out;
  WriteSharedHeader(out, rec);
  ForEachTile(rec, [&out](const LegacyTileRec& t) {
    out.Integer(t.Layer1);
    out.Integer(t.Layer2);
    out.Integer(t.Layer3);
    out.Integer(t.Layer4);
    WriteTileData(out, t);
  });
  for (uint8_t s : rec.Slot) out.Byte(s);
  return out.bytes();
}

void DecodeMap(const uint8_t* data, size_t size, MapRec& rec) {
  common::RecordReader in(data, std::min(size, kMapSize));
  ReadSharedHeader(in, rec);
  rec.Byte6 = in.Byte();
  ForEachTile(rec, [&in](TileRec& t) {
    t.Layer1 = in.Integer();
    t.Layer2 = in.Integer();
    t.Layer3 = in.Integer();
    t.Layer4 = in.Integer();
    t.Layer5 = in.Integer();
    t.Layer6 = in.Integer();
    t.Layer7 = in.Integer();
    ReadTileData(in, t);
  });
  for (int16_t& s : rec.Slot) s = in.Integer();
}

std::vector<FieldValue> MapFieldValues(const MapRec& rec) {
  std::vector<FieldValue> values;
  auto number = [&values](const char* name, int64_t v) {
    FieldValue f;
    f.name = name;
    f.number = v;
    values.push_back(std::move(f));
  };
  FieldValue name;
  name.name = "Name";
  name.isText = true;
  // Cut at its first NUL and its space padding, as the server shows it.
  name.text =
      common::TrimAtNul(std::string_view(reinterpret_cast<const char*>(rec.Name), sizeof rec.Name));
  while (!name.text.empty() && name.text.back() == ' ') name.text.pop_back();
  values.push_back(std::move(name));
  number("UpdateCount", rec.UpdateCount);
  number("Mode", rec.Mode);
  number("Int1", rec.Int1);
  number("Int2", rec.Int2);
  number("Int3", rec.Int3);
  number("Int4", rec.Int4);
  number("Byte1", rec.Byte1);
  number("Int5", rec.Int5);
  number("Byte2", rec.Byte2);
  number("Byte3", rec.Byte3);
  number("Byte4", rec.Byte4);
  number("Byte5", rec.Byte5);
  number("Byte6", rec.Byte6);
  // 192 tiles of 11 fields each would bury the header: each tile field is
  // summed up by how many tiles set it.
  const struct {
    const char* name;
    int64_t (*get)(const TileRec&);
  } tileFields[] = {
      {"Layer1 tiles set", [](const TileRec& t) -> int64_t { return t.Layer1; }},
      {"Layer2 tiles set", [](const TileRec& t) -> int64_t { return t.Layer2; }},
      {"Layer3 tiles set", [](const TileRec& t) -> int64_t { return t.Layer3; }},
      {"Layer4 tiles set", [](const TileRec& t) -> int64_t { return t.Layer4; }},
      {"Layer5 tiles set", [](const TileRec& t) -> int64_t { return t.Layer5; }},
      {"Layer6 tiles set", [](const TileRec& t) -> int64_t { return t.Layer6; }},
      {"Layer7 tiles set", [](const TileRec& t) -> int64_t { return t.Layer7; }},
      {"Kind tiles set", [](const TileRec& t) -> int64_t { return t.Kind; }},
      {"Data1 tiles set", [](const TileRec& t) -> int64_t { return t.Data1; }},
      {"Data2 tiles set", [](const TileRec& t) -> int64_t { return t.Data2; }},
      {"Data3 tiles set", [](const TileRec& t) -> int64_t { return t.Data3; }},
  };
  for (const auto& field : tileFields) {
    int64_t set = 0;
    ForEachTile(rec, [&](const TileRec& t) { set += field.get(t) != 0; });
    number(field.name, set);
  }
  FieldValue slots;
  slots.name = "Slot";
  slots.isList = true;
  for (int16_t s : rec.Slot) slots.list.push_back(s);
  values.push_back(std::move(slots));
  return values;
}

void EncodeMap(const MapRec& rec, std::vector<uint8_t>& out) {
  common::RecordWriter w;
  WriteSharedHeader(w, rec);
  w.Byte(rec.Byte6);
  ForEachTile(rec, [&w](const TileRec& t) {
    w.Integer(t.Layer1);
    w.Integer(t.Layer2);
    w.Integer(t.Layer3);
    w.Integer(t.Layer4);
    w.Integer(t.Layer5);
    w.Integer(t.Layer6);
    w.Integer(t.Layer7);
    WriteTileData(w, t);
  });
  for (int16_t s : rec.Slot) w.Integer(s);
  // assign() keeps the capacity of a buffer reused from map to map.
  out.assign(w.bytes().begin(), w.bytes().end());
}

}  // namespace vostrel
