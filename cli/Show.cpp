#include "cli/Show.h"

#include <set>
#include <sstream>

#include "cli/Json.h"
#include "model/Settings.h"
#include "model/Text.h"

namespace tarvelo {
namespace {

// A value as a terminal may safely get it: control bytes from the file would drive the
// user's terminal.
std::string Shown(const SettingRow& row, const std::string& utf8) {
  std::string text = utf8;
  if (row.flags & kDataText) {
    if (const auto bytes = Utf8ToCp1250(utf8)) text = Cp1250ToUtf8(EscapeControlBytes(*bytes));
  }
  if (row.flags & kQuotedInText) text = "\"" + text + "\"";
  return text;
}

// Pads a UTF-8 text to `width` characters for the text tables.
std::string Pad(const std::string& utf8, size_t width) {
  size_t chars = 0;
  for (unsigned char c : utf8) chars += (c & 0xC0) != 0x80;
  return utf8 + std::string(chars < width ? width - chars : 1, ' ');
}

std::vector<const SettingRow*> RowsOf(SettingListId list, DeviceModel model) {
  std::vector<const SettingRow*> rows;
  for (const SettingRow& row : Settings()) {
    if (row.list == list && row.In(model)) rows.push_back(&row);
  }
  return rows;
}

void TextList(std::ostringstream& o, const SettingList& list, const SettingSource& s) {
  const auto rows = RowsOf(list.id, s.layout.model());
  if (rows.empty()) return;
  const int count = EntryCount(*rows.front(), s);
  auto cell = [&](const std::string& text, const SettingRow* row) {
    const bool last = row == rows.back();
    return last && !list.padLastColumn ? text : Pad(text, static_cast<size_t>(row->column));
  };
  switch (list.style) {
    case ListStyle::Table:
      if (count == 0) return;
      o << "  " << Pad(list.indexColumn, static_cast<size_t>(list.indexWidth));
      for (const SettingRow* row : rows) o << cell(row->caption, row);
      o << "\n";
      for (int i = list.first; i < list.first + count; ++i) {
        o << "  " << Pad(Numbered(i, list.indexDigits), static_cast<size_t>(list.indexWidth));
        for (const SettingRow* row : rows) o << cell(Shown(*row, row->get(s, i)), row);
        o << "\n";
      }
      return;
    case ListStyle::Inline: {
      const SettingRow& row = *rows.front();
      o << "  " << list.caption;
      if (!row.parts.empty()) {
        o << " (";
        for (size_t p = 0; p < row.parts.size(); ++p) o << (p ? ":" : "") << row.parts[p].caption;
        o << ")";
      }
      o << ":";
      for (int i = list.first; i < list.first + count; ++i) {
        const std::string value = row.get(s, i);
        if (!list.emptyText || value != list.emptyText) o << " " << Shown(row, value);
      }
      o << "\n";
      return;
    }
    case ListStyle::OnePerLine:
      for (int i = list.first; i < list.first + count; ++i)
        o << "  " << Shown(*rows.front(), rows.front()->get(s, i)) << "\n";
      return;
  }
}

void JsonValueOf(JsonWriter& j, const char* key, const SettingRow& row, const std::string& value) {
  switch (row.kind) {
    case SettingKind::Number:
      j.Number(key, std::stol(value));
      return;
    case SettingKind::Switch:
      j.Bool(key, value == YesNo(true));
      return;
    case SettingKind::Items:
    case SettingKind::Text:
      if (row.parts.empty()) {
        j.String(key, value);
        return;
      }
      // A value of two parts is an object of them; the second part never holds the ':'
      // that joins them.
      j.BeginObject(key);
      {
        const size_t colon = value.rfind(':');
        j.String(row.parts[0].key, colon == std::string::npos ? value : value.substr(0, colon));
        if (row.parts.size() > 1)
          j.String(row.parts[1].key, colon == std::string::npos ? "" : value.substr(colon + 1));
      }
      j.EndObject();
      return;
  }
}

void JsonList(JsonWriter& j, const SettingList& list, const SettingSource& s) {
  const auto rows = RowsOf(list.id, s.layout.model());
  if (rows.empty()) return;
  const int count = EntryCount(*rows.front(), s);
  j.BeginArray(list.key);
  for (int i = list.first; i < list.first + count; ++i) {
    if (!list.indexKey) {
      JsonValueOf(j, nullptr, *rows.front(), rows.front()->get(s, i));
      continue;
    }
    j.BeginObject();
    if (list.indexIsNumber) {
      j.Number(list.indexKey, i);
    } else {
      j.String(list.indexKey, Numbered(i, list.digits));
    }
    for (const SettingRow* row : rows) JsonValueOf(j, row->key, *row, row->get(s, i));
    j.EndObject();
  }
  j.EndArray();
}

// The members of one JSON object: its single settings in place, each list where its first
// row stands.
void JsonMembers(JsonWriter& j, const std::string& object, const SettingSource& s) {
  std::set<SettingListId> done;
  for (const SettingRow& row : Settings()) {
    if (!row.object || row.object != object || !row.In(s.layout.model())) continue;
    if (row.list == SettingListId::None) {
      JsonValueOf(j, row.key, row, row.get(s, 0));
    } else if (done.insert(row.list).second) {
      JsonList(j, ListOf(row.list), s);
    }
  }
}

}  // namespace

std::string ShowText(const DatabaseRecord& record, const ImageLayout& layout, const ImageView& v) {
  std::ostringstream o;
  const SettingSource s(record, layout, v);
  const DeviceModel model = layout.model();
  std::optional<PageId> page;
  std::set<SettingListId> done;
  for (const SettingRow& row : Settings()) {
    if (!row.In(model) || (row.flags & kNotInText)) continue;
    if (!row.page) {
      o << row.caption << ": " << Shown(row, row.get(s, 0)) << "\n";
      continue;
    }
    if (row.page != page) {
      page = row.page;
      o << "\n[" << PageCaption(*page) << "]";
      const std::string heading = PageHeading(*page, s);
      if (!heading.empty()) o << " " << heading;
      o << "\n";
    }
    if (row.list != SettingListId::None) {
      if (done.insert(row.list).second) TextList(o, ListOf(row.list), s);
      continue;
    }
    if (row.flags & kInHeading) continue;
    o << "  " << SettingLabel(row, 0) << ": " << Shown(row, row.get(s, 0));
    if (row.box && *row.box->hint) o << " (" << row.box->hint << ")";
    o << "\n";
  }
  return o.str();
}

std::string ShowJson(const DatabaseRecord& record, const ImageLayout& layout, const ImageView& v) {
  JsonWriter j;
  const SettingSource s(record, layout, v);
  const DeviceModel model = layout.model();
  j.BeginObject();
  // The document's parts in the order their first rows come: the header texts, the
  // objects and lists, and the byte boxes as one list where the first box of no object is.
  std::set<std::string> objects;
  std::set<SettingListId> lists;
  bool boxes = false;
  for (const SettingRow& row : Settings()) {
    if (!row.In(model)) continue;
    if (!row.object) {
      if (boxes) continue;
      boxes = true;
      j.BeginArray("byteFields");
      for (const SettingRow& box : Settings()) {
        if (!box.box || !box.In(model)) continue;
        j.BeginObject();
        j.String("control", box.box->control);
        j.String("label", box.box->label);
        j.String("unit", box.box->hint);
        j.Number("offset", layout.Offset(box.box->field));
        j.Number("value", std::stol(box.get(s, 0)));
        j.EndObject();
      }
      j.EndArray();
    } else if (*row.object) {
      if (!objects.insert(row.object).second) continue;
      j.BeginObject(row.object);
      JsonMembers(j, row.object, s);
      j.EndObject();
    } else if (row.list == SettingListId::None) {
      JsonValueOf(j, row.key, row, row.get(s, 0));
    } else if (lists.insert(row.list).second) {
      JsonList(j, ListOf(row.list), s);
    }
  }
  j.BeginArray("warnings");
  for (const auto& m : v.codeDecode.messages) j.String(nullptr, m);
  j.EndArray();
  j.EndObject();
  return j.str();
}

}  // namespace tarvelo
