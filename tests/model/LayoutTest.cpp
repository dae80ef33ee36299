#include <gtest/gtest.h>

#include <map>

#include "model/ImageView.h"
#include "model/NewDatabase.h"
#include "tests/EachModel.h"

using namespace tarvelo;

namespace {

std::string Spaces(int n) {
  return std::string(n, ' ');
}

// The defaults transcribed byte by byte, apart from the table in the code.
std::map<int, std::string> ExpectedDefaults(DeviceModel model) {
  const std::string forbidden =
      "\x21\x31\x40\x41\x50\x51\x61\x71\x80\x81\x90\x91" + std::string(52, '\xFF');
  if (model == DeviceModel::FourLine) {
    std::string exceptions("\x06\x20\x0B\x06\x30\x0B\x06\x70\x0B", 9);
    for (int i = 0; i < 13; ++i) exceptions += std::string("\xDD\xDD\x00", 3);
    return {
        {1409, "\x07"},
        {1412, "\x06\x20\x06\x30\x06\x70\xDD\xDD"},
        {1420, std::string("\x00\xDD", 2)},
        {1422, "\x0F"},
        {1584, exceptions},
        // CoPosition .. National, LineSettings in the middle
        {1656, std::string("\x17\x02\x1A\x0A\x0D\x01\x5A\x0A\x02\x0F\x00\x02\x01\x03\x07\x00\x00"
                           "\x14\x14\x14\x06\x0A",
                           22)},
        {1680, "0102030405060708"},
        {1696, forbidden},
        {1792, Spaces(5120 - 1792)},
        {5120, Spaces(3072)}};
  }
  std::string exceptions;
  for (int i = 0; i < 16; ++i) exceptions += std::string("\x00\xFF", 2);
  return {{1648, std::string(16, '\x04')},
          {1664, std::string("\x0A\x02\x0F\x5A\x0A\x02\x0F\x5A\x07\x00\x00\x31\x0D\x01\x14\x14"
                             "\x14\x06\x0A\x17\x02\x1A\x20",
                             23)},
          {1696, "01020304050607080910111213141516"},
          {1760, exceptions},
          {1818, "\x03"},
          {1840, forbidden},
          {2048, Spaces(5120 - 2048)},
          {5120, Spaces(3072)}};
}

}  // namespace

class LayoutEachModel : public EachModel {};
TARVELO_EACH_MODEL(LayoutEachModel);

// Over a record that held another database of either model too: nothing of it is left, not
// even in bytes no field of this model names.
TEST_P(LayoutEachModel, DefaultsMatchTheMemoryMapByteForByte) {
  DatabaseRecord record;
  record.image.Fill(0, kImageSize - 1, 0x5A);
  record.site.set("Elozo");
  record.password.set("titok");
  NewDatabaseDefaults(record, layout());
  EXPECT_EQ(record.site.length, 0);
  // A password is saved scrambled only as far as its length goes.
  EXPECT_EQ(record.password.chars, decltype(record.password.chars){});
  ConfigImage expected;
  for (const auto& [offset, bytes] : ExpectedDefaults(model())) expected.SetBytes(offset, bytes);
  for (int i = 0; i < kImageSize; ++i) {
    ASSERT_EQ(record.image.ImageByte(i), expected.ImageByte(i)) << "offset " << i;
  }
}

// The fields never overlap, and the bytes between them are exactly the device's own.
TEST_P(LayoutEachModel, FieldsTileTheTransferRangeLeavingOnlyTheDevicesBytes) {
  std::vector<int> owner(kImageSize, -1);
  const ImageLayout l = layout();
  for (const auto& row : MemoryMap()) {
    const auto& loc = l.Location(row.field);
    if (!loc) continue;
    for (int i = loc->offset; i < loc->offset + loc->size; ++i) {
      ASSERT_EQ(owner[i], -1) << row.name << " overlaps at " << i;
      owner[i] = static_cast<int>(row.field);
    }
  }
  const std::vector<std::pair<int, int>> unnamed =
      model() == DeviceModel::FourLine
          ? std::vector<std::pair<int, int>>{{1408, 1408},
                                             {1410, 1411},
                                             {1423, 1583},
                                             {1678, 1679},
                                             {1760, 1791}}
          : std::vector<std::pair<int, int>>{
                {1632, 1647}, {1687, 1695}, {1816, 1817}, {1819, 1839}, {1904, 2047}};
  std::vector<bool> expectUnnamed(kImageSize, false);
  for (auto [a, b] : unnamed) {
    for (int i = a; i <= b; ++i) expectUnnamed[i] = true;
  }
  const int first = FirstTransferSegment(model()) * kSegmentSize;
  for (int i = first; i < kImageSize; ++i) {
    EXPECT_EQ(owner[i] == -1, expectUnnamed[i]) << "offset " << i;
  }
}

TEST_P(LayoutEachModel, NewDatabaseDecodesToTheDocumentedPages) {
  DatabaseRecord record;
  NewDatabaseDefaults(record, layout());
  const ImageView v = DecodeImageView(record.image, layout());
  const bool four = model() == DeviceModel::FourLine;
  EXPECT_EQ(SmdrSpeedItems(model())[v.general.format.speed], "9600");
  EXPECT_EQ(v.general.format.parity, 0);
  EXPECT_EQ(SmdrModeItems(model())[v.general.mode.mode], four ? "Saját" : "Normal");
  EXPECT_EQ(v.general.coPosition, 23);
  EXPECT_EQ(v.general.coCharCountIndex, 1);
  EXPECT_EQ(v.general.calledPosition, 26);
  EXPECT_EQ(v.general.recordTerminator, 13);
  ASSERT_EQ(v.lines.size(), four ? 4u : 16u);
  for (size_t n = 0; n < v.lines.size(); ++n) {
    EXPECT_EQ(v.lines[n].coNumber, (n < 9 ? "0" : "") + std::to_string(n + 1));
    EXPECT_EQ(v.lines[n].seize, 1) << "Azonnal";
    EXPECT_EQ(v.lines[n].timerSet, 0);
    EXPECT_FALSE(v.lines[n].subLine);
    EXPECT_FALSE(v.lines[n].callIn);
  }
  EXPECT_EQ(DialItems(model(), 1)[v.lines[0].dial], four ? "DTMF normal" : "DTMF");
  EXPECT_TRUE(v.callIn.foreign);
  EXPECT_TRUE(v.callIn.national);
  EXPECT_EQ(v.callIn.number, "");
  EXPECT_EQ(v.callIn.forbidden[11], "91");
  EXPECT_EQ(v.callIn.forbidden[12], "??");
  EXPECT_EQ(v.codeCount, 0);
  EXPECT_EQ(v.codeDecode.countText, "1/6");
  EXPECT_TRUE(v.codeDecode.messages.empty());
  EXPECT_TRUE(v.freeNumbers.empty());
  if (four) {
    EXPECT_EQ(v.general.switches, (Switches{true, true, true}));
    EXPECT_EQ(v.exceptionTexts[0], "062011");
    EXPECT_EQ(v.exceptionTexts[3], "====00");
    EXPECT_EQ(v.prefixes->mobile, (std::array<std::string, 4>{"0620", "0630", "0670", "===="}));
    EXPECT_EQ(v.prefixes->international, (std::array<std::string, 2>{"00", "=="}));
  } else {
    EXPECT_FALSE(v.general.switches);
    EXPECT_FALSE(v.prefixes);
    EXPECT_EQ(v.general.numberTerminator, ' ');
    EXPECT_EQ(v.exceptions[0].areaCode, "00");
    EXPECT_EQ(v.exceptions[0].length, "255");
  }
}

// The exchange files know no model and size their limits by the code table's one size.
TEST_P(LayoutEachModel, TheCodeTableHasTheExchangeFilesSize) {
  EXPECT_EQ(layout().Size(Field::CodeTable), kCodeTableSize);
}

TEST_P(LayoutEachModel, AbsentFieldsHaveNoLocation) {
  const ImageLayout l = layout();
  const bool four = model() == DeviceModel::FourLine;
  for (Field f : {Field::SwitchBits, Field::MobilePrefixes, Field::InternationalPrefixes,
                  Field::LoopImpulseDelta}) {
    EXPECT_EQ(l.Has(f), four);
  }
  for (Field f : {Field::NumberTerminator, Field::FirstTone2, Field::CoTimeout2}) {
    EXPECT_EQ(l.Has(f), !four);
  }
  if (four) {
    EXPECT_THROW(l.Offset(Field::NumberTerminator), std::logic_error);
  }
}

TEST(Model, VersionTextChoosesTheModel) {
  EXPECT_EQ(ModelFromVersionText("P4239"), DeviceModel::FourLine);
  EXPECT_EQ(ModelFromVersionText("P4290"), DeviceModel::SixteenLine);
  EXPECT_EQ(ModelFromVersionText("p4239"), DeviceModel::SixteenLine);
  ConfigImage image;
  image.SetBytes(1383, "P4239");
  EXPECT_EQ(image.VersionText(), "P4239");
}

namespace {

// A database of `model` as this program or the original leaves it: never downloaded, so
// without a version text.
DatabaseRecord NeverDownloaded(DeviceModel model, int codes, int codeLength, uint8_t timers = 20) {
  DatabaseRecord record;
  const ImageLayout layout = ImageLayout::For(model);
  NewDatabaseDefaults(record, layout);
  StoreRecordLength(record.image, layout, codeLength + 1);
  StoreCodeCount(record.image, layout, codes);
  for (int k = 0; k < codes; ++k) {
    std::string code = std::to_string(100000000 + k).substr(9 - codeLength);
    record.image.SetBytes(5120 + k * (codeLength + 1), code + "\x0F");
  }
  record.image.SetImageByte(layout.Offset(Field::ReleaseTimer), timers);
  record.image.SetImageByte(layout.Offset(Field::SeizeTimer), timers);
  return record;
}

}  // namespace

// Read with the other model's map, a 4-line database showed 5140 empty code rows: its code
// count's high byte is the 16-line record length, and a length of 0 needs no repair.
TEST_P(LayoutEachModel, ADatabaseWithoutVersionTextIsProvenByTheMapThatReadsIt) {
  struct Case {
    int codes, codeLength;
    uint8_t timers;
  };
  for (const Case c : {Case{0, 6, 20}, Case{1, 2, 20}, Case{300, 6, 20}, Case{600, 4, 20},
                       Case{341, 8, 20}, Case{0, 6, 0}, Case{10, 4, 255}}) {
    SCOPED_TRACE(std::to_string(c.codes) + " codes of " + std::to_string(c.codeLength) +
                 ", timers " + std::to_string(c.timers));
    const DatabaseRecord record = NeverDownloaded(model(), c.codes, c.codeLength, c.timers);
    const ModelProof proof = ProveDatabaseModel(record);
    ASSERT_TRUE(proof.model);
    EXPECT_EQ(*proof.model, model());
    EXPECT_NE(proof.reason, "");
    // Whatever the window happens to show.
    EXPECT_EQ(ModelToShow(record.image, otherModel()), model());
    EXPECT_EQ(ModelToShow(record.image, model()), model());
  }
}

// The device's own word beats any reading of the map, in both directions.
TEST_P(LayoutEachModel, TheVersionTextDecidesOverTheMap) {
  DatabaseRecord record = NeverDownloaded(model(), 100, 6);
  for (const char* text : {"P4239", "P4290", "X"}) {
    record.image.SetBytes(kVersionTextOffset, std::string(text) + std::string(5, '\0'));
    const ModelProof proof = ProveDatabaseModel(record);
    ASSERT_TRUE(proof.model) << text;
    EXPECT_EQ(*proof.model, ModelFromVersionText(text)) << text;
    EXPECT_NE(proof.reason.find(text), std::string::npos) << proof.reason;
  }
  // A control byte in the text reaches no terminal from the reason.
  record.image.SetBytes(kVersionTextOffset, "P\x1B[2J");
  EXPECT_EQ(ProveDatabaseModel(record).reason.find('\x1B'), std::string::npos);
}

TEST(Model, NothingIsProvenWhenBothMapsOrNeitherReadTheDatabase) {
  DatabaseRecord neither;  // all zeros: no code character in a record of either map
  EXPECT_FALSE(ProveDatabaseModel(neither).model);
  EXPECT_NE(ProveDatabaseModel(neither).reason, "");
  // 512 four-digit codes: the count's high byte, 2, is a 16-line record length, and with its
  // timers at 0 the 16-line count is 0; the other 16-line settings happen to be valid too.
  DatabaseRecord both = NeverDownloaded(DeviceModel::FourLine, 512, 4, 0);
  const ImageLayout sixteen = ImageLayout::For(DeviceModel::SixteenLine);
  both.image.SetImageByte(sixteen.Offset(Field::CoCharCount), 2);
  both.image.SetImageByte(sixteen.Offset(Field::SmdrFormat), '1');
  both.image.SetImageByte(sixteen.Offset(Field::SmdrMode), 1);
  both.image.SetImageByte(sixteen.Offset(Field::NumberTerminator), ' ');
  ASSERT_TRUE(ReadsWithoutRepairs(both.image, DeviceModel::FourLine));
  ASSERT_TRUE(ReadsWithoutRepairs(both.image, DeviceModel::SixteenLine));
  const ModelProof proof = ProveDatabaseModel(both);
  EXPECT_FALSE(proof.model);
  EXPECT_NE(proof.reason, ProveDatabaseModel(neither).reason);
}

TEST(Record, BytesRoundTripKeepingTheBytesAfterEachLength) {
  DatabaseRecord r;
  r.site.set("Site");
  r.password.chars[200] = 0x55;  // beyond the length: kept as it stands
  r.image.SetImageByte(8191, 0xAA);
  const auto bytes = r.ToBytes();
  EXPECT_EQ(bytes[11], 4);
  EXPECT_EQ(bytes[523 + 1 + 200], 0x55);
  EXPECT_EQ(bytes[1035 + 8191], 0xAA);
  EXPECT_EQ(DatabaseRecord::FromBytes(bytes), r);
}
