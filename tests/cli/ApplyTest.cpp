#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <random>
#include <set>

#include "cli/Apply.h"
#include "cli/Diff.h"
#include "cli/JsonRead.h"
#include "cli/Show.h"
#include "model/CodeSize.h"
#include "model/FreeNumbers.h"
#include "model/NewDatabase.h"
#include "tests/TempDirTest.h"

using namespace tarvelo;

namespace {

// A record as the pages could have left it: the defaults of a new database, then random
// values stored through the model's own encode steps.
// Free-call numbers typed with spaces are stored without them by "&Uj szám", so a list
// with such numbers only comes back as it is to the database that holds it.
DatabaseRecord RandomRecord(DeviceModel model, uint32_t seed, bool spacedNumbers = true) {
  std::mt19937 rng(seed);
  auto pick = [&](size_t n) { return static_cast<int>(rng() % n); };
  auto text = [&](size_t maxLength, const std::string& alphabet) {
    std::string s(static_cast<size_t>(pick(maxLength + 1)), ' ');
    for (auto& c : s) c = alphabet[static_cast<size_t>(pick(alphabet.size()))];
    return s;
  };
  const std::string digits = "0123456789";
  const std::string any = "0123456789#*ABCabc -\xE1\xE9\xF5\xFB";  // and á é ő ű

  const ImageLayout layout = ImageLayout::For(model);
  const bool four = model == DeviceModel::FourLine;
  DatabaseRecord r;
  NewDatabaseDefaults(r, layout);
  ConfigImage& im = r.image;
  r.site.set(text(30, any));
  r.owner.set(text(30, any));
  r.connectionName.set(text(10, any));

  EncodeSmdrFormat(im, layout, {pick(SmdrSpeedItems(model).size()), pick(3)});
  EncodeSmdrMode(im, layout, {pick(SmdrModeItems(model).size()), pick(2)});
  for (const auto& row : ByteFields()) {
    if (layout.Has(row.field)) TestByteRange(im, layout, row.field, std::to_string(pick(256)));
  }
  EncodeCoCharCount(im, layout, pick(4));
  EncodeRecordTerminator(im, layout, std::to_string(pick(256)));
  if (four) {
    EncodeSwitchBits(im, layout, {pick(2) == 1, pick(2) == 1, pick(2) == 1});
    EncodeDialMode4(im, layout, pick(3));
    EncodeSeizeMode4(im, layout, pick(2));
    for (int n = 1; n <= 4; ++n) {
      EncodeLineBit4(im, layout, false, n, pick(2) == 1);
      EncodeLineBit4(im, layout, true, n, pick(2) == 1);
    }
  } else {
    EncodeNumberTerminator(im, layout, std::string(1, " #*0123456789"[pick(13)]));
    std::array<LineControls16, 16> lines{};
    for (auto& l : lines) l = {pick(2), pick(2), pick(2), pick(2) == 1, pick(2) == 1};
    EncodeLines16(im, layout, lines);
  }
  for (int n = 1; n <= LineCount(model); ++n) {
    EncodeCoNumber(im, layout, n, text(static_cast<size_t>(CoNumberWidth(im, layout)), any));
  }

  if (four) {
    std::vector<std::string> texts(kExceptionCount);
    for (auto& t : texts)
      MakeExceptionText(text(4, digits), std::to_string(pick(100)), LengthInput::Typed, t);
    Prefixes p;
    for (auto& m : p.mobile) m = text(4, digits);
    for (auto& i : p.international) i = text(2, digits);
    StoreNumberPlan4(im, layout, texts, p);
  } else {
    for (int i = 0; i < kExceptionCount; ++i) {
      if (pick(4) == 0) {
        DeleteException16(im, layout, i);
      } else {
        EditException16(im, layout, i, std::string{digits[pick(10)], digits[pick(10)]},
                        std::to_string(pick(100)), LengthInput::Typed);
      }
    }
  }

  const int length = kMinCodeLength + pick(kMaxCodeLength - kMinCodeLength + 1);
  const int count = pick(static_cast<size_t>(std::min(MaxCodeCount(layout, length), 40) + 1));
  StoreCodeSize(im, layout, count, length);
  if (count > 0) {
    CodeGrid grid;
    grid.setRowCount(count + 1);
    for (int k = 1; k <= count; ++k) {
      grid.row(k).code = text(static_cast<size_t>(length), digits);
      for (auto& right : grid.row(k).rights) right = pick(2) ? kYes : kNo;
    }
    EncodeCodeTable(im, layout, grid);
  }

  std::vector<std::string> numbers;
  for (int i = pick(25); i > 0; --i) {
    const std::string n = text(16, spacedNumbers ? digits + " " : digits);
    if (n.find_first_not_of(' ') == std::string::npos) continue;
    if (std::find(numbers.begin(), numbers.end(), n) == numbers.end()) numbers.push_back(n);
  }
  FlushFreeNumbers(im, layout, numbers);

  CallInSettings callIn;
  callIn.number = text(24, digits + "#*");
  callIn.foreign = pick(2) == 1;
  callIn.national = pick(2) == 1;
  for (int k = 0; k < kForbiddenCount; ++k) {
    callIn.forbidden.push_back(pick(3) == 0 ? std::string("??")
                                            : CompleteForbiddenEntry(text(2, digits)));
  }
  EncodeCallIn(im, layout, callIn);
  return r;
}

std::string ShowJsonOf(const DatabaseRecord& record, const ImageLayout& layout) {
  ConfigImage image = record.image;
  return ShowJson(record, layout, DecodeImageView(image, layout));
}

std::vector<SettingEntry> Flat(const DatabaseRecord& record, const ImageLayout& layout) {
  ConfigImage image = record.image;
  return FlattenSettings(record, layout, DecodeImageView(image, layout));
}

Refusal Apply(const std::string& json, DatabaseRecord& record, const ImageLayout& layout) {
  std::string error;
  const auto parsed = ParseJson(json, &error);
  if (!parsed) return "parse: " + error;
  return ApplySettings(*parsed, record, layout);
}

// `count` copies of `item` with `changed` at `at`: the fixed-size lists of show's output.
std::string ListWith(size_t count, const std::string& item, size_t at, const std::string& changed) {
  std::string list = "[";
  for (size_t i = 0; i < count; ++i) list += (i ? "," : "") + (i == at ? changed : item);
  return list + "]";
}

const DeviceModel kModels[] = {DeviceModel::FourLine, DeviceModel::SixteenLine};

}  // namespace

TEST(ApplyTest, ShowJsonAppliedBackLeavesEveryByte) {
  for (const DeviceModel model : kModels) {
    const ImageLayout layout = ImageLayout::For(model);
    for (uint32_t seed = 0; seed < 300; ++seed) {
      const DatabaseRecord original = RandomRecord(model, seed);
      DatabaseRecord record = original;
      const Refusal refused = Apply(ShowJsonOf(original, layout), record, layout);
      ASSERT_FALSE(refused) << LineCount(model) << "-line seed " << seed << ": " << *refused;
      ASSERT_TRUE(record == original) << LineCount(model) << "-line seed " << seed;
    }
  }
}

// A device's memory holds whatever it holds: values no page would store (bits the pages
// clear, CO character count 0, gaps in the number list, any character anywhere). Showing and
// applying must leave those alone too; only the decode's own code-table repair may change it.
TEST(ApplyTest, ShowJsonAppliedBackLeavesAnyImageAsTheDecodeLeftIt) {
  for (const DeviceModel model : kModels) {
    const ImageLayout layout = ImageLayout::For(model);
    for (uint32_t seed = 0; seed < 200; ++seed) {
      std::mt19937 rng(seed);
      DatabaseRecord original;
      for (auto& b : original.image.raw()) b = static_cast<uint8_t>(rng());
      if (seed % 2) {
        original.image.Fill(layout.Offset(Field::CodeRecordLength),
                            layout.Offset(Field::CodeRecordLength),
                            static_cast<uint8_t>(rng() % 10));
        original.image.Fill(layout.Offset(Field::CodeCount), layout.Offset(Field::CodeCount) + 1,
                            0);
        original.image.SetImageByte(layout.Offset(Field::CodeCount),
                                    static_cast<uint8_t>(rng() % 40));
      }
      DecodeImageView(original.image, layout);  // repairs a table that does not fit
      DatabaseRecord record = original;
      const Refusal refused = Apply(ShowJsonOf(original, layout), record, layout);
      ASSERT_FALSE(refused) << LineCount(model) << "-line seed " << seed << ": " << *refused;
      for (long at = 0; at < kImageSize; ++at) {
        ASSERT_EQ(record.image.ImageByte(at), original.image.ImageByte(at))
            << LineCount(model) << "-line seed " << seed << " @" << at;
      }
    }
  }
}

TEST(ApplyTest, ShowJsonOfOneDatabaseMakesAnotherEqualToIt) {
  for (const DeviceModel model : kModels) {
    const ImageLayout layout = ImageLayout::For(model);
    for (uint32_t seed = 0; seed < 50; ++seed) {
      const DatabaseRecord source = RandomRecord(model, seed, false);
      DatabaseRecord target = RandomRecord(model, seed + 1000);
      const Refusal refused = Apply(ShowJsonOf(source, layout), target, layout);
      ASSERT_FALSE(refused) << seed << ": " << *refused;
      const auto changes = DiffSettings(Flat(source, layout), Flat(target, layout), false);
      EXPECT_TRUE(changes.empty()) << seed << ": " << DiffText(changes);
    }
  }
}

TEST(ApplyTest, PartialSettingsChangeOnlyTheirFields) {
  struct Case {
    DeviceModel model;
    std::string json;
    std::vector<std::pair<std::string, std::string>> shown;  // label, value afterwards or "*"
    std::vector<Field> fields;                               // where bytes may change
  };
  const auto four = DeviceModel::FourLine;
  const auto sixteen = DeviceModel::SixteenLine;
  const std::vector<Case> cases = {
      {four,
       R"({"general": {"parity": "Páros", "pinEnable": false, "coPosition": "7"}})",
       {{"Paritás", "Páros"}, {"Pinkód engedélyezés", "Nem"}, {"CO pozíció", "7"}},
       {Field::SmdrFormat, Field::SwitchBits, Field::CoPosition}},
      {sixteen,
       R"({"general": {"smdrSpeed": "300", "smdrMode": "Kaszkád", "numberTerminator": "#"}})",
       {{"SMDR sebesség", "300"}, {"SMDR mód", "Kaszkád"}, {"Számzáró kód", "#"}},
       {Field::SmdrFormat, Field::SmdrMode, Field::NumberTerminator}},
      {sixteen,
       R"({"lines": [{"port": 5, "dial": "Impulzus", "timerSet": "#2", "coNumber": "9"}]})",
       {{"Port 05, Tárcsázás", "Impulzus"}, {"Port 05, Időzítők", "#2"}, {"Port 05, CO szám", "*"}},
       {Field::LineSettings, Field::CoNumbers}},
      {four,
       R"({"lines": [{"port": "02", "callIn": true}, {"port": "01", "dial": "DTMF gyors"}]})",
       {{"Port 02, Behívás", "Igen"}, {"Port 01, Tárcsázás", "DTMF gyors"}},
       {Field::LineSettings}},
      {sixteen,
       R"({"byteFields": [{"control": "ME1t2", "label": "Elsö T. hang:", "value": " 42 "}]})",
       {{"Elsö T. hang (#2)", "42"}},
       {Field::FirstTone2}},
      {four,
       R"({"numberPlan": {"mobilePrefixes": ["0621", "063", "", "===="]}})",
       {{"Mobil prefix 1", "0621"},
        {"Mobil prefix 2", "063?"},
        {"Mobil prefix 3", "===="},
        {"Mobil prefix 4", "===="}},
       {Field::MobilePrefixes}},
      {four,
       R"({"numberPlan": {"exceptions": )" +
           ListWith(16, "{}", 1, R"({"areaCode": "1", "length": 8})") + "}}",
       {{"Belföldi kivétel 02", "1???:08"}},
       {Field::AreaExceptions}},
      {sixteen,
       R"({"numberPlan": {"exceptions": )" +
           ListWith(16, "{}", 2, R"({"areaCode": "36", "length": "9"})") + "}}",
       {{"Belföldi kivétel 03", "36:09"}},
       {Field::AreaExceptions}},
      {sixteen,
       R"({"numberPlan": {"exceptions": )" +
           ListWith(16, "{}", 15, R"({"areaCode": "00", "length": "255"})") + "}}",
       {{"Belföldi kivétel 16", "00:255"}},
       {Field::AreaExceptions}},
      {four,
       R"({"callIn": {"national": false, "forbiddenAreaCodes": )" +
           ListWith(64, "\"??\"", 5, "\"1\"") + "}}",
       {{"Behívás belföldi szám esetén", "Nem"}, {"Tiltott körzetszám 06", "1?"}},
       {Field::GatewayFlags, Field::ForbiddenAreaCodes, Field::CallInNumber}},
      {sixteen,
       R"({"site": "Győr", "connection": "Modem 2", "callIn": {"number": "06 1 234"}})",
       {{"Telepítés", "Győr"}, {"Kapcsolat", "Modem 2"}, {"Behívószám", "06 1 234"}},
       {Field::CallInNumber}},
  };
  for (const Case& c : cases) {
    const ImageLayout layout = ImageLayout::For(c.model);
    std::set<long> allowed;
    for (const Field f : c.fields) {
      for (long at = layout.Offset(f); at < layout.Offset(f) + layout.Size(f); ++at)
        allowed.insert(at);
    }
    std::set<std::string> labels;
    for (const auto& s : c.shown) labels.insert(s.first);
    // The fixed-size lists of the JSON say "??" for every forbidden code: only the one
    // entry named in the case is set on a database that has them all empty.
    for (const uint32_t seed : {0u, 1u, 2u, 3u}) {
      DatabaseRecord before = seed == 0 ? DatabaseRecord{} : RandomRecord(c.model, seed);
      if (seed == 0) NewDatabaseDefaults(before, layout);
      if (c.json.find("forbiddenAreaCodes") != std::string::npos) {
        before.image.Fill(layout.Offset(Field::ForbiddenAreaCodes),
                          layout.Offset(Field::ForbiddenAreaCodes) + kForbiddenCount - 1, 0xFF);
      }
      DatabaseRecord after = before;
      const Refusal refused = Apply(c.json, after, layout);
      ASSERT_FALSE(refused) << c.json << ": " << *refused;
      for (long at = 0; at < kImageSize; ++at) {
        if (allowed.count(at)) continue;
        EXPECT_EQ(before.image.ImageByte(at), after.image.ImageByte(at)) << c.json << " @" << at;
      }
      for (const auto& change : DiffSettings(Flat(before, layout), Flat(after, layout), false)) {
        EXPECT_TRUE(labels.count(change.label)) << c.json << ": " << change.label;
      }
      const auto flat = Flat(after, layout);
      for (const auto& [label, value] : c.shown) {
        const auto it = std::find_if(flat.begin(), flat.end(),
                                     [&](const SettingEntry& e) { return e.label == label; });
        ASSERT_NE(it, flat.end()) << label;
        if (value == "*") continue;
        EXPECT_EQ(it->value, value) << c.json << ": " << label;
      }
    }
  }
}

TEST(ApplyTest, CodeTableSizeAndRowsGoThroughThePreferencesAndGridRules) {
  const ImageLayout& layout = ImageLayout::For(DeviceModel::SixteenLine);
  DatabaseRecord record;
  NewDatabaseDefaults(record, layout);
  ASSERT_FALSE(Apply(R"({"codes": {"count": 3, "codeLength": 4, "table": [
      {"row": 2, "code": "0042", "local": false, "mobile": true},
      {"row": 3, "code": "7"}]}})",
                     record, layout));
  ConfigImage image = record.image;
  const ImageView v = DecodeImageView(image, layout);
  EXPECT_EQ(v.codeCount, 3);
  EXPECT_EQ(v.codeLength, 4);
  // Row 1 is the grid's blank row of a new database, all rights granted; rows the grid
  // never had start without rights.
  EXPECT_EQ(record.image.Bytes(5120, 15), "    ?004247   0");

  // Lowering the count keeps the remaining rows; a shorter length may not cut a code.
  ASSERT_FALSE(Apply(R"({"codes": {"count": 2}})", record, layout));
  EXPECT_EQ(StoredCodeCount(record.image, layout), 2);
  const Refusal cut = Apply(R"({"codes": {"codeLength": 3}})", record, layout);
  ASSERT_TRUE(cut);
  EXPECT_EQ(*cut, "codes.codeLength (Kód 0002): \"0042\" nem fér el 3 jegyen");
}

// The Preferences dialog's rule: a new code length re-lays the table (it used to be stored
// over records still laid out at the old length); one the codes do not fit changes nothing.
TEST(ApplyTest, CodeLengthChangesFollowThePreferencesRule) {
  for (const DeviceModel model : kModels) {
    const ImageLayout layout = ImageLayout::For(model);
    const long table = layout.Offset(Field::CodeTable);
    auto withCodes = [&](int count, int storedLength) {
      DatabaseRecord r;
      NewDatabaseDefaults(r, layout);
      const int L = storedLength + 1;
      StoreRecordLength(r.image, layout, L);
      StoreCodeCount(r.image, layout, count);
      for (int k = 1; k <= count; ++k) {
        const std::string code = std::to_string(1000 + k * 7919L % 9000);
        r.image.SetBytes(table + (k - 1) * L, code.substr(0, static_cast<size_t>(storedLength)));
        r.image.SetImageByte(table + (k - 1) * L + L - 1, static_cast<uint8_t>(0x30 + k % 16));
      }
      return r;
    };
    const DatabaseRecord original = withCodes(438, 4);
    DatabaseRecord record = original;
    ASSERT_FALSE(Apply(R"({"codes": {"codeLength": 6}})", record, layout));
    for (int k = 1; k <= 438; ++k) {
      ASSERT_EQ(
          record.image.Bytes(table + (k - 1) * 7L, 7),
          original.image.Bytes(table + (k - 1) * 5L, 4) + "  " + static_cast<char>(0x30 + k % 16))
          << k;
    }
    ASSERT_FALSE(Apply(R"({"codes": {"codeLength": "4"}})", record, layout));
    EXPECT_TRUE(record == original);

    const DatabaseRecord full = withCodes(614, 4);
    record = full;
    const Refusal refused = Apply(R"({"codes": {"codeLength": 6}})", record, layout);
    ASSERT_TRUE(refused);
    EXPECT_EQ(*refused,
              "codes.codeLength (Kódjegyek száma): 614 darab 6 jegyű kód nem fér el a "
              "kódtáblában (legfeljebb 438 fér el) !!!");
    EXPECT_TRUE(record == full);

    // A table outside the dialog's limits is kept as it is when its size is given back.
    const DatabaseRecord beyond = withCodes(150, 2);
    record = beyond;
    ASSERT_FALSE(Apply(R"({"codes": {"count": 150, "codeLength": 2}})", record, layout));
    EXPECT_TRUE(record == beyond);
    const Refusal grown = Apply(R"({"codes": {"count": 151}})", record, layout);
    ASSERT_TRUE(grown);
    EXPECT_EQ(*grown,
              "codes.count (Kódok darabszáma): A kódok darabszáma 2 jegyű kódból 0..100 "
              "lehet !!!");
  }
}

TEST(ApplyTest, FreeNumbersAreNormalisedAndKeptAsStored) {
  const ImageLayout& layout = ImageLayout::For(DeviceModel::FourLine);
  DatabaseRecord record;
  NewDatabaseDefaults(record, layout);
  const long start = layout.Offset(Field::FreeNumbers);
  // Entries 0 and 5 used, a gap between them; the first as an import could leave it.
  record.image.SetBytes(start, " 06 1 234       ");
  record.image.SetBytes(start + 5 * 16, "112             ");
  const DatabaseRecord original = record;

  ASSERT_FALSE(Apply(R"({"freeNumbers": [" 06 1 234", "112"]})", record, layout));
  EXPECT_TRUE(record == original) << "the same list is not written again";

  ASSERT_FALSE(Apply(R"({"freeNumbers": ["112", "06 80 123 456", " 06 1 234"]})", record, layout));
  EXPECT_EQ(record.image.Bytes(start, 64),
            "112             0680123456       06 1 234       " + std::string(16, ' '));

  // Each stored entry stands for itself once: a list that holds a number twice (as an import
  // may leave it) keeps both, and a further copy is a new number the list already holds.
  record.image.SetBytes(start + 3 * 16, "112             ");
  const DatabaseRecord twice = record;
  const struct {
    const char* json;
    const char* refusal;  // nullptr: stored
  } cases[] = {
      {R"({"freeNumbers": ["112", "112", "0680123456", " 06 1 234", "113"]})", nullptr},
      {R"({"freeNumbers": ["112", "0680123456", "112", "1 12"]})",
       "freeNumbers[3] (Kód nélkül hívható szám 004): Ez a szám már bent van ! (\"112\")"},
      {R"({"freeNumbers": ["0680123456", "113", "11 3"]})",
       "freeNumbers[2] (Kód nélkül hívható szám 003): Ez a szám már bent van ! (\"113\")"},
  };
  for (const auto& c : cases) {
    DatabaseRecord r = twice;
    const Refusal refused = Apply(c.json, r, layout);
    if (c.refusal == nullptr) {
      EXPECT_FALSE(refused) << c.json << ": " << *refused;
      EXPECT_EQ(DecodeFreeNumbers(r.image, layout).size(), 5u) << c.json;
    } else {
      ASSERT_TRUE(refused) << c.json;
      EXPECT_EQ(*refused, c.refusal);
      EXPECT_TRUE(r == twice) << c.json;
    }
  }
}

TEST(ApplyTest, JsonReaderTakesWhatTheWriterWritesAndRefusesTheRest) {
  std::string error;
  const auto v = ParseJson(
      R"({"a": "\u00e1\ud83d\ude00\n\"", "b": [1, -2.5e3, true, null], "c": {}})", &error);
  ASSERT_TRUE(v) << error;
  EXPECT_EQ(v->Find("a")->text, "\xC3\xA1\xF0\x9F\x98\x80\n\"");
  EXPECT_EQ(v->Find("b")->items[1].text, "-2.5e3");
  EXPECT_EQ(v->Find("b")->items[3].kind, JsonValue::Kind::Null);

  const std::pair<std::string, std::string> bad[] = {
      {"{\"a\": 1, \"a\": 2}", "kétszer szereplő kulcs: a"},
      {"[1, 2", "vesszőt vagy ]-t vár"},
      {"{\"a\": 01}", "vesszőt vagy }-t vár"},
      {"\"\\ud800\"", "magányos UTF-16 helyettesítő"},
      {"\"a\tb\"", "vezérlőkarakter"},
      {"[1] x", "fölösleges szöveg"},
      {std::string(100, '[') + std::string(100, ']'), "túl mélyen"},
      {"", "váratlanul véget ért"},
      {"{\"a\":\n tru}", "2. sor, 2. oszlop"},
  };
  for (const auto& [text, message] : bad) {
    EXPECT_FALSE(ParseJson(text, &error)) << text;
    EXPECT_NE(error.find(message), std::string::npos) << text << ": " << error;
  }
}

// Through the program: refusals leave the file alone, diff reports what differs.
class ApplyCliTest : public TempDirTest {
 protected:
  struct Run {
    int status;
    std::string out, err;
  };
  Run Cli(const std::vector<std::string>& args) const {
    std::string cmd = "'" TARVELO_CLI "'";
    for (const auto& a : args) {
      std::string q = "'";
      for (char c : a) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
      cmd += " " + q + "'";
    }
    cmd += " </dev/null >'" + Path("out") + "' 2>'" + Path("err") + "'";
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(Path("out")), Slurp(Path("err"))};
  }
  std::string Database(const char* model, const std::string& name) {
    const std::string file = Path(name);
    EXPECT_EQ(Cli({"new", "--model", model, "-o", file, "--password", "pw"}).status, 0);
    return file;
  }
  Run Apply(const std::string& json, const std::string& db, const char* model) {
    Put(Path("settings.json"), json);
    return Cli({"apply", Path("settings.json"), db, "--model", model, "--password", "pw"});
  }
};

TEST_F(ApplyCliTest, EveryRefusalWritesNothing) {
  const std::string db16 = Database("16", "db16.pin");
  const std::string db4 = Database("4", "db4.pin");
  ASSERT_EQ(Apply(R"({"codes": {"count": 2, "table": [{"row": 1, "code": "123456"}]},
                      "freeNumbers": ["112"]})",
                  db16, "16")
                .status,
            0);
  struct Case {
    const char* model;
    std::string json;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"16", R"({"general": {"coPosition": 256}})",
       "general.coPosition (CO pozíció): Értéknek 0..255 között kell lenni !!!"},
      {"16", R"({"byteFields": [{"control": "MEibo", "value": "abc"}]})",
       "byteFields[0].value (Bontási): Értéknek 0..255 között kell lenni !!!"},
      {"16", R"({"general": {"coCharCount": 5}})",
       "general.coCharCount (CO karakterszám): Válasszon egy értéket 1..4 között !!!"},
      {"16", R"({"general": {"recordTerminator": -1}})",
       "general.recordTerminator (Rekord záró kód): Hibás érték !!!"},
      {"16", R"({"general": {"numberTerminator": "x"}})",
       "general.numberTerminator (Számzáró kód): Csak 0..9,*,# lehet !!!"},
      {"16", R"({"general": {"coPositon": 2}})", "general.coPositon: ismeretlen kulcs"},
      {"16", R"({"colour": 2})", "colour: ismeretlen kulcs"},
      {"16", R"({"general": {"smdrSpeed": "19200"}})",
       "general.smdrSpeed (SMDR sebesség): ismeretlen érték: \"19200\""},
      {"4", R"({"general": {"parity": "Páratlan"}})",
       "general.parity (Paritás): \"Páratlan\" így nem tárolható, \"Nincs\" lenne belőle"},
      {"16", R"({"general": {"pinEnable": true}})", "general.pinEnable: ilyen mező a(z) Zentor-16"},
      {"16", R"({"model": 4})", "model (Típus): a beállítások a(z) 4 vonalas típushoz valók"},
      {"16", R"({"lines": [{"port": "03", "coNumber": "123"}]})",
       "lines[0].coNumber (Port 03, CO szám): legfeljebb 2 karakter lehet"},
      {"16", R"({"lines": [{"port": 17}]})", "lines[0].port (Port): nincs ilyen vonal"},
      {"4", R"({"lines": [{"port": 1, "dial": "Impulzus"}, {"port": 2, "dial": "DTMF gyors"}]})",
       "lines[1].dial (Port 02, Tárcsázás): a 4 vonalas típusban minden vonalé azonos"},
      {"16",
       R"({"general": {"coPosition": 30}, "byteFields": [{"control": "MEcopos", "value": 23}]})",
       "byteFields[0].value (CO pozíció): ellentmond ennek: general.coPosition = 30"},
      {"16", R"({"byteFields": [{"control": "MEibo", "offset": 1, "value": 3}]})",
       "byteFields[0].offset (Bontási): nem egyezik"},
      {"4",
       R"({"numberPlan": {"exceptions": )" + ListWith(16, "{}", 0, R"({"length": "1x"})") + "}}",
       "numberPlan.exceptions[0].length (Belföldi kivétel 01): A hossznak 0..99 között kell lenni "
       "!!!"},
      {"16",
       R"({"numberPlan": {"exceptions": )" + ListWith(16, "{}", 0, R"({"areaCode": "3"})") + "}}",
       "numberPlan.exceptions[0] (Belföldi kivétel 01): \"3:"},
      {"4", R"({"numberPlan": {"mobilePrefixes": ["06A0", "", "", ""]}})",
       "numberPlan.mobilePrefixes[0] (Mobil prefix 1): \"06A0\" így nem tárolható, \"0610\""},
      {"16", R"({"codes": {"codeLength": 9}})",
       "codes.codeLength (Kódjegyek száma): A kódjegyek száma 2..8 lehet !!!"},
      {"16", R"({"codes": {"codeLength": 2}})",
       "codes.codeLength (Kód 0001): \"123456\" nem fér el"},
      {"16", R"({"codes": {"table": [{"row": 3, "code": "1"}]}})",
       "codes.table[0].row: nincs ilyen sor: \"3\" (2 kód van)"},
      {"16", R"({"codes": {"table": [{"row": 2, "code": "12a"}]}})",
       "codes.table[0].code (Kód 0002): a kód csak számjegyekből állhat"},
      {"16", R"({"freeNumbers": ["112", "1 12"]})",
       "freeNumbers[1] (Kód nélkül hívható szám 002): Ez a szám már bent van !"},
      {"16", R"({"freeNumbers": ["112", "112"]})",
       "freeNumbers[1] (Kód nélkül hívható szám 002): Ez a szám már bent van ! (\"112\")"},
      {"16", R"({"freeNumbers": ["12345678901234567"]})", "legfeljebb 16 karakter"},
      {"16", R"({"callIn": {"number": "1234567890123456789012345"}})",
       "callIn.number (Behívószám): legfeljebb 24 karakter lehet"},
      {"16", R"({"callIn": {"number": "1\u00002"}})", "vezérlőkarakter nem lehet benne"},
      {"16", R"({"callIn": {"forbiddenAreaCodes": ["1"]}})", "64 elemet vár, 1 van benne"},
      {"16", R"({"site": "✓"})", "site (Telepítés): A(z) \"✓\" karakter nem használható"},
      {"16", R"({"versionText": "P4290"})", "versionText (Verziószöveg): a készülék írja"},
      {"16", R"({"general": {"pinEnable": 1}})", "general.pinEnable"},
      {"16", R"({"callIn": {"foreign": "true"}})", "true vagy false értéket vár"},
      {"16", R"({"general": [1]})", "general: objektumot vár"},
      {"16", "{\"general\": {", "JSON hiba (1. sor, 14. oszlop)"},
  };
  for (const Case& c : cases) {
    const std::string db = std::string(c.model) == "4" ? db4 : db16;
    const std::string bytes = Slurp(db);
    const Run r = Apply(c.json, db, c.model);
    EXPECT_EQ(r.status, 2) << c.json;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.json << "\n" << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_EQ(Slurp(db), bytes) << c.json;
  }
  const std::string bytes = Slurp(db16);
  EXPECT_EQ(Cli({"apply", Path("missing.json"), db16, "--model", "16", "--password", "pw"}).status,
            2);
  EXPECT_EQ(Apply("{}", db16, "16").status, 0);
  EXPECT_EQ(Cli({"apply", Path("settings.json"), db16, "--model", "16", "--password", "PW"}).status,
            2);
  EXPECT_EQ(Slurp(db16), bytes);
}

TEST_F(ApplyCliTest, ShowThenApplyThenDiff) {
  const std::string a = Database("4", "a.pin");
  Run shown = Cli({"show", a, "--model", "4", "--password", "pw", "--json"});
  ASSERT_EQ(shown.status, 0) << shown.err;
  const std::string bytes = Slurp(a);
  Run r = Apply(shown.out, a, "4");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(Slurp(a), bytes) << "show's own output changes nothing";

  r = Cli({"diff", a, a, "--model", "4", "--password", "pw"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");

  const std::string b = Path("b.pin");
  std::filesystem::copy_file(a, b);
  r = Apply(R"({"general": {"coPosition": 30}})", b, "4");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string line = "Alap\tCO pozíció\t\"23\"\t\"30\"\n";
  EXPECT_EQ(r.out, line) << "apply reports what it changed";
  r = Cli({"diff", a, b, "--model", "4", "--password", "pw"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.out, line);
  r = Cli({"diff", a, b, "--model", "4", "--password", "pw", "--json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "[\n  {\n    \"page\": \"Alap\",\n    \"label\": \"CO pozíció\",\n    \"a\": \"23\",\n"
            "    \"b\": \"30\"\n  }\n]\n");

  // Another model: one line says so; only what both have is compared.
  const std::string c = Database("16", "c.pin");
  r = Cli({"diff", a, c, "--model", "4", "--model-b", "16", "--password", "pw"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1),
            "Adatbázis\tTípus\t\"Zentor-4 (V2.39g+)\"\t\"Zentor-16 (V 4.29+)\"\n");
  EXPECT_EQ(r.out.find("Port 05"), std::string::npos);
  EXPECT_EQ(r.out.find("\t-"), std::string::npos);

  EXPECT_EQ(Cli({"diff", a, Path("missing.pin"), "--model", "4", "--password", "pw"}).status, 2);
  EXPECT_EQ(Cli({"diff", a, b, "--model", "4", "--password", "pw", "--password-b", "x"}).status, 2);
  EXPECT_EQ(Cli({"diff", a, "--model", "4"}).status, 2) << "a usage error is not a difference";
}

namespace {

// Runs `shell` (a command line of /bin/sh) and gives its exit status, or -1 when it did not
// exit.
int Shell(const std::string& shell) {
  const int raw = std::system(shell.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

}  // namespace

// Settings on standard input are held to the size a settings file may have: an endless or
// huge stream is refused without reading it all, and nothing is stored.
TEST_F(ApplyCliTest, StandardInputIsBoundedLikeAFile) {
  const std::string db = Database("16", "db.pin");
  const std::string bytes = Slurp(db);
  const std::string json = R"({"site": "Pécs"})";
  // Valid JSON all the way: only its size is wrong.
  Put(Path("big.json"), json + std::string(16 * 1024 * 1024, ' '));
  const std::string tail =
      " --model 16 --password pw >'" + Path("out") + "' 2>'" + Path("err") + "'";
  for (const std::string& source :
       {"'" TARVELO_CLI "' apply - '" + db + "'" + tail + " <'" + Path("big.json") + "'",
        "'" TARVELO_CLI "' apply '" + Path("big.json") + "' '" + db + "'" + tail + " </dev/null"}) {
    EXPECT_EQ(Shell(source), 2) << source;
    const std::string err = Slurp(Path("err"));
    EXPECT_NE(err.find("túl nagy egy beállításfájlnak"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(Slurp(db), bytes);
  }
  Put(Path("small.json"), json + std::string(1000, ' '));
  EXPECT_EQ(
      Shell("'" TARVELO_CLI "' apply - '" + db + "'" + tail + " <'" + Path("small.json") + "'"), 0)
      << Slurp(Path("err"));
  EXPECT_EQ(Slurp(Path("out")), "Adatbázis\tTelepítés\t\"\"\t\"Pécs\"\n");
}

// A change is reported once it is in the file: a save that fails shows none of it.
TEST_F(ApplyCliTest, AFailedSaveReportsNoChanges) {
  const std::string db = Database("16", "db.pin");
  const std::string bytes = Slurp(db);
  Put(Path("settings.json"), R"({"general": {"coPosition": 30}})");
  // A file size limit below the database's size: it is read, but its new copy cannot be
  // written, as on a full disk.
  const int status = Shell(
      "trap '' XFSZ; ulimit -f 8; exec '" TARVELO_CLI "' apply '" + Path("settings.json") + "' '" +
      db + "' --model 16 --password pw </dev/null >'" + Path("out") + "' 2>'" + Path("err") + "'");
  const std::string err = Slurp(Path("err"));
  EXPECT_EQ(status, 2) << err;
  EXPECT_EQ(Slurp(Path("out")), "") << "no change was made";
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_EQ(err.find("Mentve"), std::string::npos) << err;
  EXPECT_EQ(Slurp(db), bytes);

  ASSERT_EQ(Apply(R"({"general": {"coPosition": 30}})", db, "16").status, 0);
  EXPECT_EQ(Slurp(Path("out")), "Alap\tCO pozíció\t\"23\"\t\"30\"\n");
  EXPECT_EQ(Slurp(Path("err")), "Mentve: " + db + "\n");
}
