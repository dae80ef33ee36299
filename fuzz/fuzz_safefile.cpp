// The safe writer over any sequence of names and contents in a folder of its own, some
// writes cut short by a file size limit as a full disk would cut them: a write that reports
// success leaves exactly the new bytes under the name, one that fails leaves every file as it
// was, and no temporary file outlives either. Nothing but the named file (or the file a link
// names) ever changes, and the check made before a long job agrees with the write.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <system_error>

#include "files/SafeFile.h"
#include "fuzz/FuzzCheck.h"

using namespace tarvelo;
namespace fs = std::filesystem;

namespace {

// A folder in memory where there is one: every write is flushed to disk. Kept for the whole
// run (the removal at exit still needs its name) and removed then.
const std::string& Folder() {
  static const std::string* const folder = [] {
    const std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    auto* made = new std::string(base + "/tarvelo-fuzz-safefile-XXXXXX");
    FUZZ_CHECK(::mkdtemp(made->data()) != nullptr);
    std::signal(SIGXFSZ, SIG_IGN);
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(Folder(), ignored);
    });
    return made;
  }();
  return *folder;
}

// Every entry under the folder, by its path from there: a file's bytes, a link's target,
// or what else it is.
std::map<std::string, std::string> Listing() {
  std::map<std::string, std::string> entries;
  const fs::path root = Folder();
  std::error_code ec;
  int seen = 0;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       !ec && it != fs::end(it) && seen < 1000; it.increment(ec), ++seen) {
    const std::string name = it->path().lexically_relative(root).string();
    const fs::file_status st = it->symlink_status();
    if (fs::is_symlink(st)) {
      entries[name] = "link:" + fs::read_symlink(it->path()).string();
    } else if (fs::is_regular_file(st)) {
      std::ifstream in(it->path(), std::ios::binary);
      entries[name] = "file:" + std::string(std::istreambuf_iterator<char>(in), {});
    } else if (fs::is_directory(st)) {
      entries[name] = "folder";
    } else {
      entries[name] = "other";
    }
  }
  FUZZ_CHECK(!ec);
  return entries;
}

// A fresh folder: two files, one in a subfolder, links to a file, to nowhere and to
// themselves, a folder and a FIFO where a file name could point.
void Prepare() {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(Folder(), ec)) fs::remove_all(entry.path(), ec);
  const std::string d = Folder() + "/";
  std::ofstream(d + "a", std::ios::binary) << "old a";
  fs::create_directory(d + "sub");
  std::ofstream(d + "sub/c", std::ios::binary) << "old c";
  fs::create_symlink("a", d + "link", ec);
  fs::create_symlink("nowhere", d + "dangling", ec);
  fs::create_symlink("loop", d + "loop", ec);
  fs::create_directory(d + "dir");
  ::mkfifo((d + "fifo").c_str(), 0600);
}

const char* const kNames[] = {"a",  "b.pin", "sub/c", "sub/d",  "link",        "dangling",
                              ".a", "dir",   "fifo",  "loop",   "sub",         "missing/e",
                              "",   "a/",    "./a",   "sub//c", "sub/../b.pin"};

// A name inside the folder: any bytes but NUL, no way up out of it.
std::string AnyName(FuzzedDataProvider& in) {
  if (in.ConsumeBool()) return kNames[in.ConsumeIntegralInRange<size_t>(0, std::size(kNames) - 1)];
  std::string name = in.ConsumeRandomLengthString(300);
  for (char& c : name) {
    if (c == '\0') c = 'x';
  }
  for (size_t at = name.find(".."); at != std::string::npos; at = name.find("..")) name[at] = '_';
  return name;
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The entry a write of `name` may change: the link's target for one of the links made above.
std::string Changeable(const std::string& name, const std::map<std::string, std::string>& before) {
  const std::string normal = fs::path(name).lexically_normal().relative_path().string();
  const auto it = before.find(normal);
  if (it != before.end() && it->second.rfind("link:", 0) == 0) return it->second.substr(5);
  return normal;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  Prepare();
  for (int step = 0; step < 8 && in.remaining_bytes() > 0; ++step) {
    const std::string name = AnyName(in);
    const std::string path = Folder() + "/" + name;
    const std::string bytes = in.ConsumeRandomLengthString(4096);
    const bool cut = in.ConsumeBool() && !bytes.empty();
    const auto limit = in.ConsumeIntegralInRange<rlim_t>(0, bytes.empty() ? 0 : bytes.size() - 1);

    const auto before = Listing();
    const FileResult checked = CheckWritable(path);
    FUZZ_CHECK(checked.ok == checked.message.empty());
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    if (cut) {
      rlimit small = old;
      small.rlim_cur = limit;
      ::setrlimit(RLIMIT_FSIZE, &small);
    }
    const FileResult written = WriteFileAtomically(path, bytes);
    if (cut) ::setrlimit(RLIMIT_FSIZE, &old);
    const auto after = Listing();

    if (written.ok) {
      FUZZ_CHECK(written.message.empty());
      FUZZ_CHECK(checked.ok);
      FUZZ_CHECK(!cut);
      FUZZ_CHECK(Read(path) == bytes);
      const std::string target = Changeable(name, before);
      for (const auto& [entry, content] : before) {
        if (entry == target) continue;
        const auto now = after.find(entry);
        FUZZ_CHECK(now != after.end() && now->second == content);
      }
      for (const auto& [entry, content] : after) {
        FUZZ_CHECK(entry == target || before.count(entry));
      }
      FUZZ_CHECK(after.at(target) == "file:" + bytes);
    } else {
      FUZZ_CHECK(!written.message.empty());
      FUZZ_CHECK(written.error != 0);
      // What the check refused, the write refuses too; only a cut write may fail after a yes.
      FUZZ_CHECK(cut || !checked.ok);
      FUZZ_CHECK(after == before);
    }
  }
  return 0;
}
