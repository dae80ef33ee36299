// Every setting the pages show, one row each: where it sits (page, JSON key), what it is
// called, which models have it, how it reads from the image and how it is stored with the
// check of the page that edits it. Whatever lists, compares or stores settings (the
// command line's show, diff and apply; the pages) goes through these rows, so a setting's
// caption, items and check live here once.
//
// Values are texts in UTF-8, as the page shows them: an item's text for a choice, the
// number as typed for a number, "Igen"/"Nem" for a switch, the text itself for a text.
// A row of a list ("Port 03", "Kód 0012", "Tiltott körzetszám 07") takes the entry's index.
//
// How a page uses a row:
//   const SettingRow& row = *SettingByKey("general", "coPosition");  // or SettingByControl
//   label->setText(row.caption);                                     // "CO pozíció"
//   const ImageView view = DecodeImageView(image, layout);
//   box->setText(row.get(SettingSource(record, layout, view), 0));
//   if (const SetResult refused = row.set(record, layout, 0, typed))
//     ShowMessage(refused->message);
// A refusal changes nothing. `set` stores what the page stores; where the page would keep
// something else than what was given (odd parity in the 4-line model, a letter in a digit
// field), `get` afterwards reads back what it kept, and `shownAs` says what a faithful store
// would show: the command line refuses a value whose two differ. Rows are read in table
// order, which is also the order to store them in: the CO character count comes before the
// CO numbers it cuts, the code table's size before its rows.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/DatabaseRecord.h"
#include "model/ImageView.h"
#include "model/Pages.h"

namespace tarvelo {

enum class SettingKind { Items, Number, Text, Switch };

// A set of models, as bits: which models have a setting.
enum ModelSet : unsigned { kFourLineOnly = 1, kSixteenLineOnly = 2, kBothModels = 3 };

enum SettingFlag : unsigned {
  // 4-line model: one value for all lines, kept in line 1's panel. Listed once, and every
  // line given must name the same value.
  kSharedByLines4 = 1u << 0,
  // A text from the database: control bytes are escaped where a terminal shows it.
  kDataText = 1u << 1,
  // Text listings write the value in quotes (a blank would not show otherwise).
  kQuotedInText = 1u << 2,
  // Trailing blanks carry no meaning (the field pads with them).
  kBlankPadded = 1u << 3,
  // Read-only: what the device or the database says (the type, the version text).
  kReadOnly = 1u << 4,
  // Not in the text listing (the version text).
  kNotInText = 1u << 5,
  // Not listed on its own: the page's heading shows it (the code table's size).
  kInHeading = 1u << 6,
  // Not listed at all: the model number, which the type's name says in words.
  kNotListed = 1u << 7,
};

// How a text listing shows a list: a table with a row per entry, the values on one line
// after the list's caption, or one value a line under the page's heading.
enum class ListStyle { Table, Inline, OnePerLine };

// What a row's entries are: one value, or the entries of a list.
enum class SettingListId {
  None,
  Lines,
  Exceptions,
  MobilePrefixes,
  InternationalPrefixes,
  CodeRows,
  FreeNumbers,
  ForbiddenAreaCodes
};

struct SettingList {
  SettingListId id;
  const char* object;        // JSON object holding the list ("" at the top)
  const char* key;           // JSON key of the list
  const char* entryCaption;  // "Port", "Kód", "Tiltott körzetszám"
  const char* caption;  // the list as a whole: "Kódok", "Behívásról tiltott körzetszámok"
  int digits;           // an entry's number in labels, zero-padded to this width
  int first;            // the number of the first entry (0 or 1)
  // JSON entries that are objects name their entry with this key ("port", "row"); nullptr:
  // entries go by position and the list is given in full.
  const char* indexKey;
  bool indexIsNumber;      // the index key's value is written as a number
  const char* indexLabel;  // what names the index key in messages ("Port"), or ""
  const char* countKey;    // the key in the same object that gives the entry count, or nullptr
  bool fixedLength;        // given in full: exactly as many entries as there are
  const char* indexWhat;   // for messages: "a vonal száma"
  const char* noSuchWhat;  // "vonal", "sor"
  const char* unit;        // "vonal", "kód"
  ListStyle style;
  // A table's index column: its caption and width, and whether its last column is padded.
  const char* indexColumn;
  int indexWidth;
  int indexDigits;
  bool padLastColumn;
  const char* emptyText;  // an entry the text listing leaves out, or nullptr
};

// What a row reads from: the record, its layout and the image decoded as the pages show it.
struct SettingSource {
  SettingSource(const DatabaseRecord& r, const ImageLayout& l, const ImageView& v)
      : record(r), layout(l), view(v) {}
  const DatabaseRecord& record;
  const ImageLayout& layout;
  const ImageView& view;
};

struct SettingRefusal {
  std::string message;  // UTF-8, as the page shows it
  int part = -1;        // a value of two parts: the part it is about
};
using SetResult = std::optional<SettingRefusal>;

struct SettingPart {
  const char* key;
  const char* caption;
  SettingKind kind;
};

struct GivenValue;
struct GroupRefusal;
// A store that takes all the values given for a group at once (the code table, the
// free-call list); see StoreCodeSettings.
using GroupStore = std::optional<GroupRefusal> (*)(DatabaseRecord&, const ImageLayout&,
                                                   const std::vector<GivenValue>&);

struct SettingRow {
  std::optional<PageId> page;  // nothing: a header text of the database
  const char* object;          // JSON object holding it ("" at the top; nullptr: only a byte box)
  const char* key;             // JSON key (in the object, or in each entry of its list)
  const char* caption;         // as the page shows it, without accelerator or colon
  unsigned models;             // ModelSet
  SettingKind kind;
  SettingListId list = SettingListId::None;
  unsigned flags = 0;
  const ByteFieldRow* box = nullptr;  // the byte-valued edit box showing it, if any
  int column = 0;                     // width in a text table (lists shown as tables)
  // A value of two parts ("0620:07"), given in JSON as an object of these keys.
  std::vector<SettingPart> parts{};
  std::function<const std::vector<std::string>&(DeviceModel, int index)> items{};
  std::function<std::string(const SettingSource&, int index)> get{};
  std::function<SetResult(DatabaseRecord&, const ImageLayout&, int index, const std::string&)>
      set{};
  GroupStore groupStore = nullptr;  // stored together with the other values of its group
  // What the page shows after storing `value` (when it keeps the value as given, nothing).
  std::function<std::optional<std::string>(const SettingSource&, int index, const std::string&)>
      shownAs{};

  bool In(DeviceModel model) const {
    return (models & (model == DeviceModel::FourLine ? kFourLineOnly : kSixteenLineOnly)) != 0;
  }
};

// Every row, in the order the pages come and show them.
const std::vector<SettingRow>& Settings();
const std::vector<SettingList>& SettingLists();
const SettingList& ListOf(SettingListId id);

// The row with this JSON place; nullptr when there is none.
const SettingRow* SettingByKey(const std::string& object, const std::string& key);
// The row shown in this byte box (by the box's control name); nullptr when there is none.
const SettingRow* SettingByControl(const std::string& control);

// How many entries a row has in this database (1 for a row of no list).
int EntryCount(const SettingRow& row, const SettingSource& source);
// Whether an entry is listed: a value shared by the 4-line model's lines is listed once.
bool EntryListed(const SettingRow& row, DeviceModel model, int index);

// What a text listing puts after the page's caption in its heading ("12 kód, 6 jegyű"), or "".
std::string PageHeading(PageId page, const SettingSource& source);

// The page caption a listing names: the tab's, or "Adatbázis" for a header text.
const char* PageName(const SettingRow& row);
// The listing label of one entry: "CO pozíció", "Elsö T. hang (#1)", "Port 03, CO szám",
// "Kód 0012", "Kód 0012, Mobil", "Tiltott körzetszám 07".
std::string SettingLabel(const SettingRow& row, int index);
std::string EntryLabel(const SettingList& list, int index);

// Two values of a row are the same setting (trailing blanks aside where they mean nothing).
bool SameValue(const SettingRow& row, const std::string& a, const std::string& b);

// The group stores that take all of a list at once. Each given value names its entry; a
// refusal names the given value it is about (`given`, an index into `values`), or none when
// it is about the list as a whole; `label` names the field when it is another than the
// value's own.
struct GivenValue {
  const SettingRow* row;
  int index;
  std::string value;
};
struct GroupRefusal {
  std::string message;
  int given = -1;
  std::string label;
};
// The code table: its size (count, length) and rows, through the Preferences dialog's rule
// for a new size and the grid's rules for the rows.
std::optional<GroupRefusal> StoreCodeSettings(DatabaseRecord& record, const ImageLayout& layout,
                                              const std::vector<GivenValue>& values);
// The free-call list, given whole and in order: a number the list holds stays as stored, a
// new one is stored as "&Uj szám" stores it.
std::optional<GroupRefusal> StoreFreeNumberList(DatabaseRecord& record, const ImageLayout& layout,
                                                const std::vector<GivenValue>& values);

// How a switch shows: "Igen" or "Nem".
const char* YesNo(bool b);

}  // namespace tarvelo
