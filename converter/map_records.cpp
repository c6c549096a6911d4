#include "converter/map_records.h"

#include <cstring>

namespace vostrel {

namespace {

// Reads little-endian fields from a byte range; bytes past its end read as
// zero, so a short file decodes to a record whose missing tail is cleared.
class Cursor {
 public:
  Cursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t Byte() { return Next(); }
  int16_t Integer() {
    uint16_t lo = Next();
    uint16_t hi = Next();
    return static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8)));
  }
  int32_t Long() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(Next()) << (8 * i);
    return static_cast<int32_t>(v);
  }
  void Bytes(uint8_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i) out[i] = Next();
  }

 private:
  uint8_t Next() { return pos_ < size_ ? data_[pos_++] : 0; }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// Writes little-endian fields into a buffer sized beforehand.
class Filler {
 public:
  explicit Filler(uint8_t* out) : out_(out) {}

  void Byte(uint8_t v) { out_[pos_++] = v; }
  void Integer(int16_t v) {
    uint16_t u = static_cast<uint16_t>(v);
    out_[pos_++] = static_cast<uint8_t>(u & 0xFF);
    out_[pos_++] = static_cast<uint8_t>(u >> 8);
  }
  void Long(int32_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) out_[pos_++] = static_cast<uint8_t>(u >> (8 * i));
  }
  void Bytes(const uint8_t* in, size_t n) {
    std::memcpy(out_ + pos_, in, n);
    pos_ += n;
  }
  size_t position() const { return pos_; }

 private:
  uint8_t* out_;
  size_t pos_ = 0;
};

// The header fields both layouts share, up to Byte5. The converted layout
// adds Byte6 after them; the caller handles that.
template <typename Rec, typename In>
void ReadSharedHeader(In& in, Rec& rec) {
  in.Bytes(rec.Name, sizeof rec.Name);
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
void WriteSharedHeader(Filler& out, const Rec& rec) {
  out.Bytes(rec.Name, sizeof rec.Name);
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

}  // namespace

void DecodeLegacyMap(const uint8_t* data, size_t size, LegacyMapRec& rec) {
  Cursor in(data, size < kLegacyMapSize ? size : kLegacyMapSize);
  ReadSharedHeader(in, rec);
  // The grid is stored with the first subscript varying fastest.
  for (int b = 0; b < kMapHeight; ++b) {
    for (int a = 0; a < kMapWidth; ++a) {
      LegacyTileRec& t = rec.Tile[a][b];
      t.Layer1 = in.Integer();
      t.Layer2 = in.Integer();
      t.Layer3 = in.Integer();
      t.Layer4 = in.Integer();
      t.Kind = in.Byte();
      t.Data1 = in.Integer();
      t.Data2 = in.Integer();
      t.Data3 = in.Integer();
    }
  }
  in.Bytes(rec.Slot, sizeof rec.Slot);
}

std::vector<uint8_t> EncodeLegacyMap(const LegacyMapRec& rec) {
  std::vector<uint8_t> bytes(kLegacyMapSize);
  Filler out(bytes.data());
  WriteSharedHeader(out, rec);
  for (int b = 0; b < kMapHeight; ++b) {
    for (int a = 0; a < kMapWidth; ++a) {
      const LegacyTileRec& t = rec.Tile[a][b];
      out.Integer(t.Layer1);
      out.Integer(t.Layer2);
      out.Integer(t.Layer3);
      out.Integer(t.Layer4);
      out.Byte(t.Kind);
      out.Integer(t.Data1);
      out.Integer(t.Data2);
      out.Integer(t.Data3);
    }
  }
  out.Bytes(rec.Slot, sizeof rec.Slot);
  return bytes;
}

void DecodeMap(const uint8_t* data, size_t size, MapRec& rec) {
  Cursor in(data, size < kMapSize ? size : kMapSize);
  ReadSharedHeader(in, rec);
  rec.Byte6 = in.Byte();
  for (int b = 0; b < kMapHeight; ++b) {
    for (int a = 0; a < kMapWidth; ++a) {
      TileRec& t = rec.Tile[a][b];
      t.Layer1 = in.Integer();
      t.Layer2 = in.Integer();
      t.Layer3 = in.Integer();
      t.Layer4 = in.Integer();
      t.Layer5 = in.Integer();
      t.Layer6 = in.Integer();
      t.Layer7 = in.Integer();
      t.Kind = in.Byte();
      t.Data1 = in.Integer();
      t.Data2 = in.Integer();
      t.Data3 = in.Integer();
    }
  }
  for (int16_t& s : rec.Slot) s = in.Integer();
}

void EncodeMap(const MapRec& rec, std::vector<uint8_t>& out) {
  // resize() keeps the capacity, so a buffer reused from map to map is
  // allocated once.
  out.resize(kMapSize);
  Filler f(out.data());
  WriteSharedHeader(f, rec);
  f.Byte(rec.Byte6);
  for (int b = 0; b < kMapHeight; ++b) {
    for (int a = 0; a < kMapWidth; ++a) {
      const TileRec& t = rec.Tile[a][b];
      f.Integer(t.Layer1);
      f.Integer(t.Layer2);
      f.Integer(t.Layer3);
      f.Integer(t.Layer4);
      f.Integer(t.Layer5);
      f.Integer(t.Layer6);
      f.Integer(t.Layer7);
      f.Byte(t.Kind);
      f.Integer(t.Data1);
      f.Integer(t.Data2);
      f.Integer(t.Data3);
    }
  }
  for (int16_t s : rec.Slot) f.Integer(s);
}

}  // namespace vostrel
