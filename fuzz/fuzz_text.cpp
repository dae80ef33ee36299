// Windows-1250 and UTF-8: every byte string survives the trip to UTF-8 and back, and a UTF-8
// text the code page can hold comes back as it went in; one it cannot hold names a culprit.
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "model/Text.h"

using namespace tarvelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const std::string utf8 = Cp1250ToUtf8(bytes);
  std::string bad = "unset";
  const auto back = Utf8ToCp1250(utf8, &bad);
  FUZZ_CHECK(back.has_value());
  FUZZ_CHECK(*back == bytes);

  // The same bytes read as UTF-8 typed by the user.
  bad.clear();
  const auto cp = Utf8ToCp1250(bytes, &bad);
  if (cp) {
    FUZZ_CHECK(Cp1250ToUtf8(*cp) == bytes);
    FUZZ_CHECK(cp->size() <= bytes.size());
  } else {
    FUZZ_CHECK(!bad.empty());
    FUZZ_CHECK(!UnencodableMessage(bad).empty());
    // The culprit is shown to the user: it must be valid UTF-8 itself, or an escape.
    FUZZ_CHECK(bad.rfind("\\x", 0) == 0 || Utf8ToCp1250(bad) == std::nullopt);
  }
  return 0;
}
