// A configuration image through the pages' decode and encode, in both models: every encode
// stays inside its own field (no byte outside the field's place in the memory map changes),
// decoding twice shows the same, and writing back what was shown is a fixed point after one
// round.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "cli/Show.h"
#include "fuzz/FuzzCheck.h"
#include "model/CodeTable.h"
#include "model/Codecs.h"
#include "model/DatabaseRecord.h"
#include "model/FreeNumbers.h"
#include "model/ImageView.h"
#include "model/Lines.h"
#include "model/NewDatabase.h"
#include "model/NumberPlan.h"

using namespace tarvelo;

namespace {

using Fields = std::initializer_list<Field>;

// Runs `encode` and checks that it changed no byte outside `fields`.
template <typename F>
void Within(ConfigImage& image, const ImageLayout& layout, Fields fields, F&& encode) {
  const ConfigImage before = image;
  encode();
  if (before == image) return;
  for (long i = 0; i < kImageSize; ++i) {
    if (before.raw()[i] == image.raw()[i]) continue;
    bool inside = false;
    for (Field f : fields) {
      if (!layout.Has(f)) continue;
      inside = inside || (i >= layout.Offset(f) && i < layout.Offset(f) + layout.Size(f));
    }
    if (!inside) {
      std::fprintf(stderr, "byte %ld changed outside its field\n", i);
      FUZZ_CHECK(inside);
    }
  }
}

// What the pages show, as text, without the repair messages of the decode that made it.
std::string Shown(ConfigImage& image, const ImageLayout& layout, bool text) {
  ImageView view;
  Within(image, layout, {Field::CodeRecordLength, Field::CodeCount},
         [&] { view = DecodeImageView(image, layout); });
  view.codeDecode.messages.clear();
  // Tens of thousands of empty codes fit a table of records too short to hold one; printing
  // them all would slow the search down for nothing the first thousand do not show.
  view.codeCount = std::min(view.codeCount, 1000);
  DatabaseRecord record;
  record.image = image;
  if (text) (void)ShowText(record, layout, view);
  return ShowJson(record, layout, view);
}

// Every page writes back what it shows, as leaving each field would.
void WriteBack(ConfigImage& image, const ImageLayout& layout) {
  ImageView v = DecodeImageView(image, layout);
  const bool four = layout.model() == DeviceModel::FourLine;
  Within(image, layout, {Field::SmdrFormat},
         [&] { EncodeSmdrFormat(image, layout, v.general.format); });
  Within(image, layout, {Field::SmdrMode}, [&] { EncodeSmdrMode(image, layout, v.general.mode); });
  // The page shows the width the CO numbers are cut with.
  Within(image, layout, {Field::CoCharCount},
         [&] { FUZZ_CHECK(!EncodeCoCharCount(image, layout, CoNumberWidth(image, layout) - 1)); });
  Within(image, layout, {Field::RecordTerminator}, [&] {
    FUZZ_CHECK(!EncodeRecordTerminator(image, layout, DecodeRecordTerminator(image, layout)));
  });
  if (layout.Has(Field::NumberTerminator)) {
    Within(image, layout, {Field::NumberTerminator}, [&] {
      FUZZ_CHECK(
          !EncodeNumberTerminator(image, layout, std::string(1, v.general.numberTerminator)));
    });
  }
  if (v.general.switches) {
    Within(image, layout, {Field::SwitchBits},
           [&] { EncodeSwitchBits(image, layout, *v.general.switches); });
  }
  for (const auto& f : v.byteFields) {
    Within(image, layout, {f.row->field}, [&] {
      FUZZ_CHECK(!TestByteRange(image, layout, f.row->field, std::to_string(f.value)));
    });
  }
  Within(image, layout, {Field::LineSettings}, [&] {
    if (four) {
      EncodeDialMode4(image, layout, v.lines[0].dial);
      EncodeSeizeMode4(image, layout, v.lines[0].seize);
      for (int n = 1; n <= 4; ++n) {
        EncodeLineBit4(image, layout, false, n, v.lines[n - 1].subLine);
        EncodeLineBit4(image, layout, true, n, v.lines[n - 1].callIn);
      }
    } else {
      std::array<LineControls16, 16> controls;
      for (int n = 0; n < 16; ++n) {
        const auto& l = v.lines[n];
        controls[n] = {l.seize, l.dial, l.timerSet, l.subLine, l.callIn};
      }
      EncodeLines16(image, layout, controls);
    }
  });
  Within(image, layout, {Field::CoNumbers}, [&] {
    for (size_t n = 0; n < v.lines.size(); ++n)
      EncodeCoNumber(image, layout, static_cast<int>(n + 1), v.lines[n].coNumber);
  });
  if (four) {
    Within(image, layout,
           {Field::AreaExceptions, Field::MobilePrefixes, Field::InternationalPrefixes},
           [&] { FUZZ_CHECK(!StoreNumberPlan4(image, layout, v.exceptionTexts, *v.prefixes)); });
  }
  Within(image, layout, {Field::CallInNumber, Field::GatewayFlags, Field::ForbiddenAreaCodes},
         [&] { EncodeCallIn(image, layout, v.callIn); });
  Within(image, layout, {Field::CodeTable, Field::CodeCount},
         [&] { EncodeCodeTable(image, layout, v.codes); });
  Within(image, layout, {Field::FreeNumbers},
         [&] { FlushFreeNumbers(image, layout, v.freeNumbers); });
}

std::string Text(FuzzedDataProvider& in) {
  return in.ConsumeRandomLengthString(30);
}

// One edit with values of the fuzzer's choosing; only the containment is checked.
void Edit(FuzzedDataProvider& in, ConfigImage& image, const ImageLayout& layout) {
  const DeviceModel model = layout.model();
  const bool four = model == DeviceModel::FourLine;
  switch (in.ConsumeIntegralInRange<int>(0, 13)) {
    case 0: {
      SmdrFormatChoice c{in.ConsumeIntegralInRange<int>(0, int(SmdrSpeedItems(model).size()) - 1),
                         in.ConsumeIntegralInRange<int>(0, 2)};
      Within(image, layout, {Field::SmdrFormat}, [&] { EncodeSmdrFormat(image, layout, c); });
      FUZZ_CHECK(DecodeSmdrFormat(image, layout).speed == c.speed);
      break;
    }
    case 1: {
      SmdrModeChoice c{in.ConsumeIntegralInRange<int>(0, int(SmdrModeItems(model).size()) - 1),
                       in.ConsumeIntegralInRange<int>(0, 1)};
      Within(image, layout, {Field::SmdrMode}, [&] { EncodeSmdrMode(image, layout, c); });
      FUZZ_CHECK(DecodeSmdrMode(image, layout) == c);
      break;
    }
    case 2: {
      const int index = in.ConsumeIntegralInRange<int>(-2, 6);
      Within(image, layout, {Field::CoCharCount},
             [&] { (void)EncodeCoCharCount(image, layout, index); });
      break;
    }
    case 3: {
      const auto& rows = ByteFields();
      const auto& row = rows[in.ConsumeIntegralInRange<size_t>(0, rows.size() - 1)];
      if (!layout.Has(row.field)) break;
      const std::string text = Text(in);
      Within(image, layout, {row.field}, [&] {
        if (!TestByteRange(image, layout, row.field, text)) {
          FUZZ_CHECK(std::to_string(image.ImageByte(layout.Offset(row.field))) ==
                     std::to_string(std::stol(TrimBlanks(text))));
        }
      });
      break;
    }
    case 4: {
      const std::string text = Text(in);
      Within(image, layout, {Field::RecordTerminator},
             [&] { (void)EncodeRecordTerminator(image, layout, text); });
      if (layout.Has(Field::NumberTerminator)) {
        Within(image, layout, {Field::NumberTerminator},
               [&] { (void)EncodeNumberTerminator(image, layout, text); });
      }
      break;
    }
    case 5: {
      const Switches s{in.ConsumeBool(), in.ConsumeBool(), in.ConsumeBool()};
      Within(image, layout, {Field::SwitchBits}, [&] { EncodeSwitchBits(image, layout, s); });
      break;
    }
    case 6:
      Within(image, layout, {Field::LineSettings}, [&] {
        if (four) {
          EncodeDialMode4(image, layout, in.ConsumeIntegralInRange<int>(0, 2));
          EncodeSeizeMode4(image, layout, in.ConsumeIntegralInRange<int>(0, 1));
          EncodeLineBit4(image, layout, in.ConsumeBool(), in.ConsumeIntegralInRange<int>(-1, 6),
                         in.ConsumeBool());
        } else {
          std::array<LineControls16, 16> controls;
          for (auto& c : controls) {
            if (in.ConsumeBool()) c.seize = in.ConsumeIntegralInRange<int>(0, 1);
            if (in.ConsumeBool()) c.dial = in.ConsumeIntegralInRange<int>(0, 1);
            if (in.ConsumeBool()) c.timerSet = in.ConsumeIntegralInRange<int>(0, 1);
            if (in.ConsumeBool()) c.subLine = in.ConsumeBool();
            if (in.ConsumeBool()) c.callIn = in.ConsumeBool();
          }
          EncodeLines16(image, layout, controls);
        }
      });
      break;
    case 7: {
      const int line = in.ConsumeIntegralInRange<int>(-1, 18);
      const std::string text = Text(in);
      Within(image, layout, {Field::CoNumbers}, [&] { EncodeCoNumber(image, layout, line, text); });
      if (line >= 1 && line <= LineCount(model)) {
        std::string expected = text.substr(0, CoNumberWidth(image, layout));
        expected.resize(CoNumberWidth(image, layout), ' ');
        FUZZ_CHECK(DecodeCoNumber(image, layout, line) == expected);
      }
      break;
    }
    case 8: {
      if (!four) {
        const int index = in.ConsumeIntegralInRange<int>(0, kExceptionCount - 1);
        const std::string area = Text(in), length = Text(in);
        const LengthInput input = in.ConsumeBool() ? LengthInput::Typed : LengthInput::AsSelected;
        Within(image, layout, {Field::AreaExceptions}, [&] {
          if (in.ConsumeBool())
            DeleteException16(image, layout, index);
          else
            (void)EditException16(image, layout, index, area, length, input);
        });
        break;
      }
      std::vector<std::string> texts = DecodeExceptionTexts(image, layout);
      Prefixes prefixes = DecodePrefixes(image, layout);
      const int changes = in.ConsumeIntegralInRange<int>(0, 4);
      for (int i = 0; i < changes; ++i) {
        switch (in.ConsumeIntegralInRange<int>(0, 2)) {
          case 0: {
            std::string text;
            const std::string area = Text(in), length = Text(in);
            const LengthInput input =
                in.ConsumeBool() ? LengthInput::Typed : LengthInput::AsSelected;
            if (!MakeExceptionText(area, length, input, text))
              texts[in.ConsumeIntegralInRange<int>(0, kExceptionCount - 1)] = text;
            break;
          }
          case 1:
            prefixes.mobile[in.ConsumeIntegralInRange<int>(0, 3)] = in.ConsumeRandomLengthString(5);
            break;
          default:
            prefixes.international[in.ConsumeIntegralInRange<int>(0, 1)] =
                in.ConsumeRandomLengthString(3);
        }
      }
      Within(image, layout,
             {Field::AreaExceptions, Field::MobilePrefixes, Field::InternationalPrefixes},
             [&] { (void)StoreNumberPlan4(image, layout, texts, prefixes); });
      break;
    }
    case 9: {
      CallInSettings s = DecodeCallIn(image, layout);
      s.number = Text(in);
      s.foreign = in.ConsumeBool();
      s.national = in.ConsumeBool();
      if (in.ConsumeBool()) {
        s.forbidden[in.ConsumeIntegralInRange<int>(0, kForbiddenCount - 1)] =
            CompleteForbiddenEntry(in.ConsumeRandomLengthString(3));
      }
      Within(image, layout, {Field::CallInNumber, Field::GatewayFlags, Field::ForbiddenAreaCodes},
             [&] { EncodeCallIn(image, layout, s); });
      const std::string number = s.number.substr(0, s.number.find('\0')).substr(0, 24);
      FUZZ_CHECK(DecodeCallIn(image, layout).number == number);
      break;
    }
    case 10: {
      CodeGrid grid;
      Within(image, layout, {Field::CodeRecordLength, Field::CodeCount},
             [&] { DecodeCodeTable(image, layout, grid); });
      grid.setRowCount(in.ConsumeIntegralInRange<int>(0, 700));
      grid.row(in.ConsumeIntegralInRange<int>(1, 700)).code = Text(in);
      Within(image, layout, {Field::CodeTable, Field::CodeCount},
             [&] { EncodeCodeTable(image, layout, grid); });
      break;
    }
    case 11: {
      std::vector<std::string> items;
      const int count = in.ConsumeIntegralInRange<int>(0, FreeNumberCapacity(layout) + 2);
      for (int i = 0; i < count; ++i) items.push_back(in.ConsumeRandomLengthString(20));
      const bool trimmed = in.ConsumeBool();
      Within(image, layout, {Field::FreeNumbers}, [&] {
        if (trimmed)
          FlushFreeNumbersTrimmed(image, layout, items);
        else
          FlushFreeNumbers(image, layout, items);
      });
      break;
    }
    default: {
      const long at = in.ConsumeIntegralInRange<long>(0, kImageSize - 1);
      image.SetImageByte(at, in.ConsumeIntegral<uint8_t>());
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  ConfigImage base;
  switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 1:
    case 2: {
      DatabaseRecord r;
      NewDatabaseDefaults(
          r, ImageLayout::For(in.ConsumeBool() ? DeviceModel::SixteenLine : DeviceModel::FourLine));
      base = r.image;
      break;
    }
    default:
      break;
  }
  // Patches over the base: where, then the bytes.
  const int patches = in.ConsumeIntegralInRange<int>(0, 16);
  for (int p = 0; p < patches; ++p) {
    const long at = in.ConsumeIntegralInRange<long>(0, kImageSize - 1);
    const std::string bytes = in.ConsumeRandomLengthString(64);
    base.SetBytes(at, std::string_view(bytes).substr(0, kImageSize - at));
  }
  const size_t editsFrom = in.remaining_bytes();
  const std::vector<uint8_t> edits = in.ConsumeRemainingBytes<uint8_t>();
  (void)editsFrom;

  for (DeviceModel model : {DeviceModel::FourLine, DeviceModel::SixteenLine}) {
    const ImageLayout layout = ImageLayout::For(model);
    ConfigImage image = base;
    const std::string first = Shown(image, layout, true);
    FUZZ_CHECK(Shown(image, layout, false) == first);

    ConfigImage once = image;
    WriteBack(once, layout);
    ConfigImage twice = once;
    WriteBack(twice, layout);
    FUZZ_CHECK(twice == once);

    FuzzedDataProvider ops(edits.data(), edits.size());
    while (ops.remaining_bytes() > 0) {
      Edit(ops, image, layout);
      ConfigImage shown = image;
      (void)DecodeImageView(shown, layout);
    }
  }
  return 0;
}
