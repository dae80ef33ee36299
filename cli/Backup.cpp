#include "cli/Backup.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "cli/Args.h"
#include "cli/Diff.h"
#include "files/DatabaseFile.h"
#include "files/IniFile.h"
#include "files/SafeFile.h"
#include "link/Connection.h"
#include "link/SerialLinkPort.h"
#include "link/Transfers.h"
#include "model/ImageView.h"
#include "model/NewDatabase.h"
#include "model/Settings.h"
#include "model/Text.h"
#include "serial/Speeds.h"

namespace tarvelo {
namespace {

// A sites file is a short list written by hand; anything near this size is not one.
constexpr size_t kMaxSitesFileBytes = 1 << 20;
// How many changed settings a "változott" line names before it only counts the rest: a
// reloaded code table would otherwise make a line of thousands.
constexpr size_t kNamedChanges = 20;
// A folder holding more entries than this is not looked through to its end.
constexpr long kMaxListedEntries = 1000000;
// The progress line is redrawn at most this often while segments go by.
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

constexpr const char* kUnchanged = "változatlan";
constexpr const char* kChanged = "változott";
constexpr const char* kFirst = "első";
constexpr const char* kFailed = "sikertelen";

// One section of the sites file.
struct Site {
  std::string name;   // the section name, UTF-8
  std::string shown;  // the name as it may be printed
  std::string port;   // any name the serial layer opens
  int baud = 0;
  std::string password;  // Windows-1250
  std::string siteText;  // Windows-1250, the database's site text
  std::string refusal;   // why it cannot be backed up; empty when it can
};

// A text for one column of a result line: no tab or line break of its own.
std::string OneColumn(std::string text) {
  for (char& c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) c = ' ';
  }
  return text;
}

// A section name as it may reach a terminal: control bytes, and every byte of a name that
// is not UTF-8, as \xHH.
std::string Printable(std::string_view name) {
  if (const auto cp = Utf8ToCp1250(name)) return Cp1250ToUtf8(EscapeControlBytes(*cp));
  std::string out;
  for (const char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b >= 0x7F || c == '\\') {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

// What a key of a site is. Unknown keys are refused rather than passed over: a misspelled
// PASSWORD would otherwise back the site up under an empty password, and a misspelled SPEED
// at the default speed. The other keys of a connection copied from tvconn.ini are let be:
// a backup dials no number and always uses the device's line settings.
enum class SiteKey { kLine, kPassword, kConnectionOnly, kUnknown };
SiteKey SiteKeyOf(std::string key) {
  for (char& c : key) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (key == "COM" || key == "SPEED") return SiteKey::kLine;
  if (key == "PASSWORD") return SiteKey::kPassword;
  for (const char* other : {"PHONE", "DATABITS", "PARITY", "STOPBITS", "FLOW"}) {
    if (key == other) return SiteKey::kConnectionOnly;
  }
  return SiteKey::kUnknown;
}

Site ReadSite(const IniFile& ini, const std::string& name) {
  Site site;
  site.name = name;
  site.shown = Printable(name);
  if (const auto refused = SiteNameRefusal(name)) {
    site.refusal = *refused;
    return site;
  }
  site.siteText = *Utf8ToCp1250(name);
  std::string unknown;
  for (const std::string& key : ini.ReadKeys(name)) {
    if (SiteKeyOf(key) != SiteKey::kUnknown) continue;
    if (!unknown.empty()) unknown += ", ";
    unknown += Printable(key);
  }
  if (!unknown.empty()) {
    site.refusal = "ismeretlen kulcs (a telephely kulcsai: COM, SPEED, PASSWORD): " + unknown;
    return site;
  }
  site.port = ini.ReadString(name, "COM", "");
  if (site.port.empty()) {
    site.refusal = "nincs megadva a port (COM kulcs)";
    return site;
  }
  // A speed the list lacks would open the port at some other speed and end in a time-out
  // that names nothing; the night's report says what is wrong instead.
  const std::string speed = ini.ReadString(name, "SPEED", SpeedIndexToText(kDefaultSpeedIndex));
  int index = -1;
  for (const PortSpeed& s : WorkstationSpeeds()) {
    if (speed == s.text) index = s.index;
  }
  if (index < 0) {
    site.refusal = "hibás sebesség (SPEED): " + speed;
    return site;
  }
  site.baud = PortSpeedFor(index).baud;
  std::string bad;
  const auto password = Utf8ToCp1250(ini.ReadString(name, "PASSWORD", ""), &bad);
  if (!password) {
    site.refusal = "jelszó (PASSWORD): " + UnencodableMessage(bad);
  } else if (password->size() > 255) {
    site.refusal = "jelszó (PASSWORD): legfeljebb 255 karakter lehet";
  } else {
    site.password = *password;
  }
  return site;
}

// The progress line on a terminal and the result lines, from every worker: one lock, so
// that no line is cut into by another and the progress line is taken away before a result
// is written.
class Reporter {
 public:
  explicit Reporter(const std::vector<Site>& sites)
      : sites_(sites), tty_(::isatty(STDERR_FILENO) == 1) {}

  void State(size_t site, const std::string& state, bool now) {
    const std::lock_guard<std::mutex> lock(mutex_);
    running_[site] = state;
    Draw(now);
  }
  void Done(size_t site, const std::string& line) {
    const std::lock_guard<std::mutex> lock(mutex_);
    running_.erase(site);
    Clear();
    if (outputError_.empty()) {
      try {
        WriteOut(line + "\n");
      } catch (const std::runtime_error& e) {
        // The backups go on: they are what the run is for. The command ends as a failed write.
        outputError_ = e.what();
      }
    }
    Draw(true);
  }
  void End() {
    const std::lock_guard<std::mutex> lock(mutex_);
    Clear();
  }
  std::string OutputError() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return outputError_;
  }

 private:
  static size_t Columns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 10) return size.ws_col;
    return 80;
  }
  // Cut to `columns` characters, counting each UTF-8 sequence once.
  static std::string Cut(const std::string& text, size_t columns) {
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
      if (++count > columns) return text.substr(0, i);
    }
    return text;
  }
  void Draw(bool now) {
    if (!tty_ || running_.empty()) return;
    const auto time = std::chrono::steady_clock::now();
    if (!now && time - drawn_ < kProgressInterval) return;
    drawn_ = time;
    std::string text;
    for (const auto& [site, state] : running_) {
      if (!text.empty()) text += "  ";
      text += sites_[site].shown + " " + state;
    }
    std::cerr << "\r" << Cut(text, Columns() - 1) << "\x1b[K" << std::flush;
    shown_ = true;
  }
  void Clear() {
    if (shown_) std::cerr << "\r\x1b[K" << std::flush;
    shown_ = false;
  }

  const std::vector<Site>& sites_;
  const bool tty_;
  std::mutex mutex_;
  std::map<size_t, std::string> running_;  // by the site's place in the file
  std::chrono::steady_clock::time_point drawn_{};
  bool shown_ = false;
  std::string outputError_;
};

// A download's host: its segments go to the progress line, its message is the failure's
// reason.
class BackupHost : public TransferHost {
 public:
  BackupHost(DeviceConnection& connection, Reporter& reporter, size_t site)
      : connection_(connection), reporter_(reporter), site_(site) {}
  void Status(const std::string&) override {}
  void Message(const std::string& text) override { message = text; }
  void Busy(bool) override {}
  void ProcessEvents(int waitMs) override {
    if (waitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
  }
  void Progress(const TransferProgress& p) override {
    reporter_.State(site_, std::to_string(p.segment) + "/" + std::to_string(p.last), false);
  }
  void SwitchModel(DeviceModel) override {}
  void Decode() override {}
  bool PortOpen() override { return connection_.IsOpen(); }
  int LastSystemError() override { return connection_.LastOpenError(); }
  void ReleasePort() override { connection_.EndTransfer(); }

  std::string message;

 private:
  DeviceConnection& connection_;
  Reporter& reporter_;
  size_t site_;
};

// The device's memory into `record`, as the download command reads it, on a connection
// of the site's own. The reason when it failed.
std::optional<std::string> Download(const Site& site, DatabaseRecord& record, Reporter& reporter,
                                    size_t index) {
  DeviceConnection connection;
  try {
    connection.SetEventThread(false);  // nothing listens
    connection.BeginTransfer(site.port, BaudRateFor(site.baud), site.baud);
    SerialLinkPort linkPort(connection);
    SteadyClock clock;
    BackupHost host(connection, reporter, index);
    Transfers transfers(linkPort, clock, host, record.image);
    if (transfers.DownloadImage() != TransferResult::Ok)
      return host.message.empty() ? "az átvitel nem sikerült" : host.message;
  } catch (const EComPort& e) {
    return connection.PortName() + ": " + e.what();
  }
  return std::nullopt;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

// Makes a folder only its owner can enter: the backups hold the sites' passwords. An
// existing folder is taken as it is.
std::optional<std::string> MakeFolder(const std::string& path, bool* made = nullptr) {
  const bool created = ::mkdir(path.c_str(), 0700) == 0;
  if (!created && errno != EEXIST) return SystemError("A mappa nem hozható létre", path, errno);
  if (made) *made = created;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return SystemError("A mappa nem érhető el", path, errno);
  if (!S_ISDIR(st.st_mode)) return path + ": nem mappa";
  return std::nullopt;
}

// The site's folder held for this run alone, so that two runs at once (a timer and a hand)
// do not pick the same name for their backups nor compare with a half-made one.
class FolderLock {
 public:
  explicit FolderLock(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  // The reason it cannot be held, nothing once it is.
  std::optional<std::string> Take(const std::string& path) {
    if (fd_ < 0) return SystemError("A mappa nem érhető el", path, errno);
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return std::nullopt;
    if (errno == EWOULDBLOCK) return "egy másik mentés dolgozik ebben a mappában: " + path;
    return SystemError("A mappa nem zárolható", path, errno);
  }

 private:
  int fd_;
};

// The newest backup in the folder by its name; empty when there is none.
std::string NewestBackup(const std::string& folder) {
  std::string newest;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return newest;
  long seen = 0;
  for (const dirent* e = ::readdir(dir); e && seen < kMaxListedEntries;
       e = ::readdir(dir), ++seen) {
    const std::string name = e->d_name;
    if (IsBackupFileName(name) && name > newest) newest = name;
  }
  ::closedir(dir);
  return newest;
}

// A name for a backup made now that no earlier backup has: the minute's, else with the
// seconds. Empty when both are taken.
std::string FreeBackupName(const std::string& folder) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char minute[32], second[32];
  std::strftime(minute, sizeof minute, "%Y-%m-%d_%H%M.pi1", &local);
  std::strftime(second, sizeof second, "%Y-%m-%d_%H%M%S.pi1", &local);
  for (const char* name : {minute, second}) {
    if (!Exists(folder + "/" + name)) return name;
  }
  return {};
}

// A backup's settings as `diff` lists them, read with the model its bytes prove.
struct Flattened {
  std::vector<SettingEntry> entries;
  DeviceModel model = DeviceModel::FourLine;
};
Flattened Flatten(DatabaseRecord record, DeviceModel fallback) {
  Flattened f;
  f.model = ProveDatabaseModel(record).model.value_or(fallback);
  const ImageLayout layout = ImageLayout::For(f.model);
  const ImageView view = DecodeImageView(record.image, layout);
  f.entries = FlattenSettings(record, layout, view);
  return f;
}

std::string ChangeList(const std::vector<SettingChange>& changes) {
  std::string text;
  for (size_t i = 0; i < changes.size() && i < kNamedChanges; ++i) {
    if (!text.empty()) text += "; ";
    text += changes[i].page + ": " + changes[i].label;
  }
  if (changes.size() > kNamedChanges)
    text += "; és még " + std::to_string(changes.size() - kNamedChanges) + " beállítás";
  return text;
}

struct Outcome {
  bool ok = false;
  std::string state;
  std::string file = "-";
  std::string detail;
};

Outcome Failed(std::string why, std::string file = "-") {
  return {false, kFailed, std::move(file), std::move(why)};
}

// The folder a first backup was to go into is not left behind empty when it failed.
class NewFolder {
 public:
  NewFolder(const std::string& path, bool made) : path_(path), made_(made) {}
  ~NewFolder() {
    if (made_) ::rmdir(path_.c_str());  // fails, as it should, once a backup is in it
  }
  NewFolder(const NewFolder&) = delete;
  NewFolder& operator=(const NewFolder&) = delete;

 private:
  std::string path_;
  bool made_;
};

Outcome BackUp(const Site& site, const std::string& folder, Reporter& reporter, size_t index) {
  if (!site.refusal.empty()) return Failed(site.refusal);
  const std::string siteFolder = folder + "/" + site.name;
  bool made = false;
  if (const auto failed = MakeFolder(siteFolder, &made)) return Failed(*failed);
  const NewFolder unlessFilled(siteFolder, made);
  FolderLock lock(siteFolder);
  if (const auto failed = lock.Take(siteFolder)) return Failed(*failed);
  const std::string previous = NewestBackup(siteFolder);

  reporter.State(index, "csatlakozás", true);
  DatabaseRecord record;
  NewDatabaseDefaults(record, ImageLayout::For(DeviceModel::FourLine));
  record.site.set(site.siteText);
  record.password.set(site.password);
  if (const auto failed = Download(site, record, reporter, index)) return Failed(*failed);
  reporter.State(index, "mentés", true);

  const std::string name = FreeBackupName(siteFolder);
  if (name.empty()) return Failed("ebben a másodpercben már készült mentés: " + siteFolder);
  const std::string path = siteFolder + "/" + name;
  const SaveResult saved = SaveDatabaseFile(path, record);
  if (!saved.ok) return Failed(saved.message);
  if (previous.empty()) return {true, kFirst, path, ""};

  const std::string previousPath = siteFolder + "/" + previous;
  DatabaseRecord before;
  const LoadResult loaded = LoadDatabaseFile(previousPath, before, [&] { return site.password; });
  if (loaded.status != LoadStatus::Ok)
    return Failed(
        "mentve, de az előző mentés nem olvasható: " + previousPath + ": " + loaded.message, path);
  const Flattened now = Flatten(record, DeviceModel::FourLine);
  const Flattened then = Flatten(before, now.model);
  const auto changes = DiffSettings(then.entries, now.entries, then.model != now.model);
  if (changes.empty()) return {true, kUnchanged, path, ""};
  return {true, kChanged, path, ChangeList(changes)};
}

// Sites that name the same port take turns: two downloads on one line would spoil both.
std::vector<std::vector<size_t>> ByPort(const std::vector<Site>& sites) {
  std::vector<std::vector<size_t>> groups;
  std::map<std::string, size_t> groupOfPort;
  for (size_t i = 0; i < sites.size(); ++i) {
    if (sites[i].refusal.empty()) {
      const auto [it, added] = groupOfPort.emplace(sites[i].port, groups.size());
      if (added) groups.emplace_back();
      groups[it->second].push_back(i);
    } else {
      groups.push_back({i});
    }
  }
  return groups;
}

int ParseJobs(const Args& a) {
  const auto it = a.options.find("-j");
  if (it == a.options.end()) return kDefaultBackupJobs;
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(it->second.c_str(), &end, 10);
  if (it->second.empty() || *end != '\0' || errno != 0 || n < 1 || n > kMaxBackupJobs)
    throw UsageError{"a -j értéke 1.." + std::to_string(kMaxBackupJobs) +
                     " közötti egész szám lehet: " + it->second};
  return static_cast<int>(n);
}

int Fail(const std::string& line) {
  std::cerr << "tarvelo-cli: " << line << "\n";
  return kFileError;
}

}  // namespace

std::optional<std::string> SiteNameRefusal(std::string_view name) {
  const std::string shown = Printable(name);
  if (name.empty()) return "üres telephelynév";
  if (name.size() > 255) return "a telephely neve túl hosszú mappanévnek: " + shown;
  std::string bad;
  if (!Utf8ToCp1250(name, &bad))
    return "a telephely neve (" + shown + "): " + UnencodableMessage(bad);
  // A leading dot would hide the folder, or climb out of the backup folder.
  if (name.front() == '.') return "a telephely neve nem kezdődhet ponttal: " + shown;
  for (const char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || b < 0x20 || b == 0x7F)
      return "a telephely neve nem lehet mappanév (/, \\ vagy vezérlőkarakter): " + shown;
  }
  return std::nullopt;
}

bool IsBackupFileName(std::string_view name) {
  // YYYY-MM-DD_HHMM.pi1 or YYYY-MM-DD_HHMMSS.pi1
  const std::string_view minute = "0000-00-00_0000";
  if (name.size() != minute.size() + 4 && name.size() != minute.size() + 6) return false;
  if (name.substr(name.size() - 4) != ".pi1") return false;
  const std::string_view stamp = name.substr(0, name.size() - 4);
  for (size_t i = 0; i < stamp.size(); ++i) {
    const char want = i < minute.size() ? minute[i] : '0';
    const bool digit = stamp[i] >= '0' && stamp[i] <= '9';
    if (want == '0' ? !digit : stamp[i] != want) return false;
  }
  return true;
}

int RunBackupCommand(const Args& a) {
  if (a.positional.size() != 1) throw UsageError{"egy telephelyfájlt kell megadni"};
  const auto folderOption = a.options.find("-d");
  if (folderOption == a.options.end()) throw UsageError{"a -d MAPPA megadása kötelező"};
  const int jobs = ParseJobs(a);
  const std::string& sitesPath = a.positional[0];
  std::string folder = folderOption->second;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();

  const ReadResult read = ReadRegularFile(sitesPath, kMaxSitesFileBytes);
  if (!read.ok) return Fail(read.message);
  if (!read.whole) return Fail(sitesPath + ": túl nagy telephelyfájl");
  const IniFile ini = IniFile::FromText(read.bytes);
  const std::vector<std::string> names = ini.ReadSections();
  if (names.empty()) return Fail(sitesPath + ": a fájlban nincs egy telephely sem");
  // As a private key is refused when others could read it: the passwords open every site's
  // database and, with the port, its device.
  // A value under a misspelled key may be a password just the same.
  bool passwords = false;
  for (const std::string& name : names) {
    for (const std::string& key : ini.ReadKeys(name)) {
      const SiteKey kind = SiteKeyOf(key);
      if ((kind == SiteKey::kPassword || kind == SiteKey::kUnknown) &&
          !ini.ReadString(name, key, "").empty())
        passwords = true;
    }
  }
  struct stat st {};
  if (::stat(sitesPath.c_str(), &st) != 0)
    return Fail(SystemError("A fájl nem érhető el", sitesPath, errno));
  if (passwords && (st.st_mode & (S_IRGRP | S_IROTH))) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return Fail(sitesPath + ": a fájlban jelszavak vannak, de mások is olvashatják (jogai: " +
                mode + "); csak a tulajdonosa olvashassa: chmod 600 " + sitesPath);
  }
  std::vector<Site> sites;
  for (const std::string& name : names) sites.push_back(ReadSite(ini, name));
  if (const auto failed = MakeFolder(folder)) return Fail(*failed);

  (void)Settings();  // the settings table is built once, before the workers read it
  const auto groups = ByPort(sites);
  Reporter reporter(sites);
  std::vector<char> succeeded(sites.size(), 0);
  std::atomic<size_t> next{0};
  const auto work = [&] {
    // Each group is taken once; the loop ends with the groups.
    for (size_t g = next++; g < groups.size(); g = next++) {
      for (const size_t i : groups[g]) {
        Outcome outcome;
        try {
          outcome = BackUp(sites[i], folder, reporter, i);
        } catch (const std::exception& e) {
          outcome = Failed(e.what());
        }
        succeeded[i] = outcome.ok ? 1 : 0;
        std::string line = sites[i].shown + "\t" + outcome.state + "\t" + OneColumn(outcome.file);
        if (!outcome.detail.empty()) line += "\t" + OneColumn(outcome.detail);
        reporter.Done(i, line);
      }
    }
  };
  const size_t workers = std::min(static_cast<size_t>(jobs), groups.size());
  std::vector<std::thread> threads;
  for (size_t t = 1; t < workers; ++t) threads.emplace_back(work);
  work();
  for (std::thread& t : threads) t.join();
  reporter.End();

  if (const std::string error = reporter.OutputError(); !error.empty()) return Fail(error);
  for (const char ok : succeeded) {
    if (!ok) return kTransferError;
  }
  return 0;
}

}  // namespace tarvelo
