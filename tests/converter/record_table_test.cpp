// The field-table mechanism the record converters share, on a small record
// kind of the test's own.
#include "converter/record_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/status.h"
#include "tests/support/le_bytes.h"
#include "tests/support/scratch_folder.h"

namespace vostrel {
namespace {

struct ProbeRec {
  std::string Title;
  uint8_t Level = 0;
  int16_t Count = 0;
  int32_t Total = 0;
  std::string Note;
};

constexpr common::layout::ProfileKindFiles kProbeFiles{"probes.ini", "\\probes.ini", "\\Probes\\",
                                                       "\\Probes\\Probe", "PROBE"};

// Read in one order, stored in nearly the reverse one.
constexpr Field<ProbeRec> kProbeFields[] = {
    Field<ProbeRec>::FixedText("Title", &ProbeRec::Title, 6, 4),
    Field<ProbeRec>::Byte("Level", &ProbeRec::Level, 3),
    Field<ProbeRec>::Integer("Count", &ProbeRec::Count, 2),
    Field<ProbeRec>::Long("Total", &ProbeRec::Total, 0),
    Field<ProbeRec>::VarText("Note", &ProbeRec::Note, 1),
    Field<ProbeRec>::Reserved(3, 5),
};
constexpr RecordLayout kProbeLayout("probe", kProbeFiles, kVariableSize, kProbeFields);

class RecordTableTest : public ::testing::Test {
 protected:
  void SetUp() override { server.MakeDir("Probes"); }
  ScratchFolder server;
  std::vector<ProbeRec> table = std::vector<ProbeRec>(4);
};

TEST_F(RecordTableTest, BytesFollowTheDiskSlotsNotTheReadOrder) {
  server.Write("probes.ini", "[PROBE2]\nTitle=Abc\nLevel=7\nCount=-2\nTotal=70000\nNote=hi\n");
  const common::Status s = ConvertRecord(kProbeLayout, table, 2);
  ASSERT_TRUE(s.ok()) << s.ToString();
  EXPECT_EQ(server.Read("Probes/Probe2.dat"),
            Le32(70000) + Le16(2) + "hi" + Le16(-2) + "\x07" + "Abc   " + std::string(3, '\0'));
  EXPECT_EQ(table[2].Title, "Abc   ");
  EXPECT_EQ(table[2].Note, "hi");
}

TEST_F(RecordTableTest, FirstValueThatDoesNotFitEndsTheRecord) {
  server.Write("probes.ini", "[PROBE1]\nTitle=Kept\nLevel=3\nCount=40000\nTotal=5\n");
  server.Write("Probes/Probe1.dat", "old");
  const common::Status s = ConvertRecord(kProbeLayout, table, 1);
  EXPECT_EQ(s.code(), common::Status::Code::kOutOfRange);
  EXPECT_NE(s.message().find("Count"), std::string::npos) << s.ToString();
  EXPECT_NE(s.message().find("40000"), std::string::npos) << s.ToString();
  EXPECT_EQ(server.Read("Probes/Probe1.dat"), "old");
  EXPECT_EQ(table[1].Title, "Kept  ");
  EXPECT_EQ(table[1].Level, 3);
  EXPECT_EQ(table[1].Count, 0);
  EXPECT_EQ(table[1].Total, 0);
}

TEST_F(RecordTableTest, NumbersOutsideTheTableAreRefusedFirst) {
  server.Write("probes.ini", "[PROBE4]\nTitle=Four\n");
  for (int32_t n : {0, 4, -1}) {
    const common::Status s = ConvertRecord(kProbeLayout, table, n);
    EXPECT_EQ(s.code(), common::Status::Code::kOutOfRange) << n;
    EXPECT_NE(s.message().find("probe " + std::to_string(n)), std::string::npos) << s.ToString();
  }
  EXPECT_FALSE(server.Exists("Probes/Probe4.dat"));
}

TEST_F(RecordTableTest, AJobSaysWhichRecordsHadASection) {
  server.Write("probes.ini", "[PROBE2]\nTitle=Two\n");
  const common::ServerFolder folder(server.path());
  RecordJob job(folder, kProbeFiles);
  for (int32_t n = 1; n <= 3; ++n) {
    ASSERT_TRUE(ConvertRecord(kProbeLayout, table, n, job).ok()) << n;
    EXPECT_EQ(job.HasSection(n), n == 2) << n;
  }
  // Also of a record other than the one converted last.
  EXPECT_TRUE(job.HasSection(2));
  EXPECT_FALSE(job.HasSection(1));
}

TEST_F(RecordTableTest, SourceThatCannotBeReadWritesNothing) {
  // A missing source reads as empty values, as the server's tools read it.
  ASSERT_TRUE(ConvertRecord(kProbeLayout, table, 1).ok());
  EXPECT_EQ(server.Read("Probes/Probe1.dat").size(), 4u + 2u + 2u + 1u + 6u + 3u);

  // One that is there but cannot be read must not blank the old record.
  server.MakeDir("probes.ini");
  server.Write("Probes/Probe2.dat", "old two");
  const common::Status s = ConvertRecord(kProbeLayout, table, 2);
  EXPECT_FALSE(s.ok());
  EXPECT_NE(s.message().find("probes.ini"), std::string::npos) << s.ToString();
  EXPECT_EQ(server.Read("Probes/Probe2.dat"), "old two");
}

TEST(RecordLayoutEncode, TextLongerThanItsCountIsRefused) {
  ProbeRec rec;
  std::vector<uint8_t> bytes;
  rec.Note = std::string(65535, 'z');
  ASSERT_TRUE(kProbeLayout.Encode(rec, &bytes).ok());
  EXPECT_EQ(bytes.size(), 4u + 2u + 65535u + 2u + 1u + 6u + 3u);

  rec.Note += 'z';
  bytes.clear();
  const common::Status s = kProbeLayout.Encode(rec, &bytes);
  EXPECT_EQ(s.code(), common::Status::Code::kOutOfRange);
  EXPECT_NE(s.message().find("Note"), std::string::npos) << s.ToString();
  EXPECT_TRUE(bytes.empty());
}

}  // namespace
}  // namespace vostrel
