#include "model/FreeNumbers.h"

#include <algorithm>

#include "model/Codecs.h"

namespace tarvelo {
namespace {

void Flush(ConfigImage& image, const ImageLayout& layout, const std::vector<std::string>& items,
           bool trim) {
  const long start = layout.Offset(Field::FreeNumbers);
  image.Fill(start, start + layout.Size(Field::FreeNumbers) - 1, ' ');
  const int capacity = FreeNumberCapacity(layout);
  for (int i = 0; i < static_cast<int>(items.size()) && i < capacity; ++i) {
    std::string entry = trim ? TrimBlanks(items[i]) : items[i];
    entry.resize(kFreeNumberWidth, ' ');
    image.SetBytes(start + kFreeNumberWidth * i, entry);
  }
}

}  // namespace

int FindFreeNumber(const std::vector<std::string>& items, int current, const std::string& sought) {
  const std::string wanted = WithoutBlanks(sought);
  const int count = static_cast<int>(items.size());
  if (wanted.empty() || count == 0) return -1;
  if (current < 0 || current >= count) current = count - 1;  // so the search starts at 0
  for (int step = 1; step <= count; ++step) {
    const int i = (current + step) % count;
    if (WithoutBlanks(items[i]).find(wanted) != std::string::npos) return i;
  }
  return -1;
}

int FreeNumberCapacity(const ImageLayout& layout) {
  return layout.Size(Field::FreeNumbers) / kFreeNumberWidth;
}

std::vector<std::string> DecodeFreeNumbers(const ConfigImage& image, const ImageLayout& layout) {
  std::vector<std::string> items;
  const long start = layout.Offset(Field::FreeNumbers);
  for (int i = 0; i < FreeNumberCapacity(layout); ++i) {
    std::string entry = image.Bytes(start + kFreeNumberWidth * i, kFreeNumberWidth);
    if (entry.find_first_not_of(' ') != std::string::npos) items.push_back(std::move(entry));
  }
  return items;
}

void FlushFreeNumbers(ConfigImage& image, const ImageLayout& layout,
                      const std::vector<std::string>& items) {
  Flush(image, layout, items, false);
}

void FlushFreeNumbersTrimmed(ConfigImage& image, const ImageLayout& layout,
                             const std::vector<std::string>& items) {
  Flush(image, layout, items, true);
}

void FreeNumberList::assign(std::vector<std::string> items) {
  items_ = std::move(items);
  if (sorted_) std::stable_sort(items_.begin(), items_.end());
}

int FreeNumberList::Insert(std::string text) {
  auto at = sorted_ ? std::upper_bound(items_.begin(), items_.end(), text) : items_.end();
  at = items_.insert(at, std::move(text));
  return static_cast<int>(at - items_.begin());
}

FreeNumberList::AddResult FreeNumberList::Add(std::string& entry, int* index) {
  if (static_cast<int>(items_.size()) >= capacity_) return AddResult::Full;
  entry = NormalizeNumber16(entry);
  if (std::find(items_.begin(), items_.end(), entry) != items_.end()) return AddResult::Duplicate;
  const int at = Insert(entry);
  if (index) *index = at;
  return AddResult::Added;
}

int FreeNumberList::Replace(int index, std::string& entry) {
  entry = NormalizeNumber16(entry);
  if (index < 0 || index >= static_cast<int>(items_.size())) return -1;
  if (!sorted_) {
    items_[index] = entry;
    return index;
  }
  items_.erase(items_.begin() + index);
  return Insert(entry);
}

int FreeNumberList::Delete(const std::set<int>& indexes) {
  int removed = 0;
  for (auto it = indexes.rbegin(); it != indexes.rend(); ++it) {
    if (*it >= 0 && *it < static_cast<int>(items_.size())) {
      items_.erase(items_.begin() + *it);
      ++removed;
    }
  }
  return removed;
}

void FreeNumberList::SetSorted(bool sorted) {
  sorted_ = sorted;
  if (sorted_) std::stable_sort(items_.begin(), items_.end());
}

}  // namespace tarvelo
