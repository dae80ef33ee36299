// Numbers callable without a code: the region of 16-character entries and the list that
// is its working copy on page "&Számok".
#pragma once

#include <set>
#include <string>
#include <vector>

#include "model/ConfigImage.h"
#include "model/General.h"
#include "model/ImageLayout.h"

namespace tarvelo {

constexpr int kFreeNumberWidth = 16;
constexpr const char* kDuplicateNumberMessage = "Ez a szám már bent van !";
constexpr const char* kClearQuestion = "Biztos benne ?";

int FreeNumberCapacity(const ImageLayout& layout);

std::vector<std::string> DecodeFreeNumbers(const ConfigImage& image, const ImageLayout& layout);
void FlushFreeNumbers(ConfigImage& image, const ImageLayout& layout,
                      const std::vector<std::string>& items);
// The same, each item first stripped of leading and trailing blanks and control characters.
void FlushFreeNumbersTrimmed(ConfigImage& image, const ImageLayout& layout,
                             const std::vector<std::string>& items);

// The next item from `current` on (wrapping, `current` itself last) that holds the sought
// text, blanks ignored on both sides; -1 when none does or nothing is sought.
int FindFreeNumber(const std::vector<std::string>& items, int current, const std::string& sought);
constexpr const char* kNoSuchNumberMessage = "Nincs ilyen szám !";

// The list's items and its sorted mode. Texts are Windows-1250.
class FreeNumberList {
 public:
  explicit FreeNumberList(int capacity = 0) : capacity_(capacity) {}

  const std::vector<std::string>& items() const { return items_; }
  int capacity() const { return capacity_; }
  void setCapacity(int capacity) { capacity_ = capacity; }
  bool sorted() const { return sorted_; }

  // Replaces the items as a decode or import does, keeping the sorted order when on.
  void assign(std::vector<std::string> items);

  enum class AddResult { Added, Duplicate, Full };
  // Normalises `entry` in place (it goes back into the entry field) and adds it.
  // Returns the index of the new item through `index` when added.
  AddResult Add(std::string& entry, int* index = nullptr);
  // Normalises `entry` in place and puts it at `index`; no duplicate check. Returns the
  // index the item ends up at (it moves when the list is sorted), or -1 for a bad index.
  int Replace(int index, std::string& entry);
  // Removes the items at the given indexes; returns how many were removed.
  int Delete(const std::set<int>& indexes);
  void Clear() { items_.clear(); }
  void SetSorted(bool sorted);

 private:
  int Insert(std::string text);
  std::vector<std::string> items_;
  int capacity_;
  bool sorted_ = false;
};

}  // namespace tarvelo
