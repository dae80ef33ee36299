#include "cli/Transfer.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

#include "cli/Args.h"
#include "cli/OpenDatabase.h"
#include "files/DatabaseFile.h"
#include "files/SafeFile.h"
#include "link/Connection.h"
#include "link/SerialLinkPort.h"
#include "link/Transfers.h"
#include "model/NewDatabase.h"
#include "serial/Speeds.h"

namespace tarvelo {
namespace {

// Progress and results on stderr: a bar on a terminal, plain lines otherwise.
class CliHost : public TransferHost {
 public:
  explicit CliHost(DeviceConnection& connection)
      : connection_(connection), tty_(::isatty(STDERR_FILENO)) {}

  void Status(const std::string& text) override {
    EndBar();
    std::cerr << text << "\n";
  }
  void Message(const std::string& text) override {
    EndBar();
    message_ = text;
  }
  void Busy(bool) override {}
  void ProcessEvents(int waitMs) override {
    if (waitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
  }
  void Progress(const TransferProgress& p) override {
    if (!tty_) return;
    const int width = 40;
    const int filled = p.last > 0 ? p.segment * width / p.last : width;
    std::fprintf(stderr, "\r[%s%s] %3d/%d", std::string(filled, '#').c_str(),
                 std::string(width - filled, ' ').c_str(), p.segment, p.last);
    barShown_ = true;
  }
  void SwitchModel(DeviceModel m) override { model = m; }
  void Decode() override {}
  bool PortOpen() override { return connection_.IsOpen(); }
  int LastSystemError() override { return connection_.LastOpenError(); }
  void ReleasePort() override { connection_.EndTransfer(); }

  DeviceModel model = DeviceModel::FourLine;
  const std::string& message() const { return message_; }

 private:
  void EndBar() {
    if (barShown_) std::fputc('\n', stderr);
    barShown_ = false;
  }
  DeviceConnection& connection_;
  bool tty_;
  bool barShown_ = false;
  std::string message_;
};

// The port as the window opens it for the device, at any speed the user names.
void OpenPort(DeviceConnection& connection, const Args& a) {
  const auto it = a.options.find("--port");
  if (it == a.options.end()) throw UsageError{"a --port megadása kötelező"};
  long speed = PortSpeedFor(kDefaultSpeedIndex).baud;
  if (const auto s = a.options.find("--speed"); s != a.options.end()) {
    char* end = nullptr;
    speed = std::strtol(s->second.c_str(), &end, 10);
    if (*end != '\0' || speed <= 0 || speed > 4000000)
      throw UsageError{"hibás --speed: " + s->second};
  }
  connection.SetEventThread(false);  // nothing listens
  const int baud = static_cast<int>(speed);
  connection.BeginTransfer(it->second, BaudRateFor(baud), baud);
}

int Fail(const std::string& line, int status) {
  std::cerr << "tarvelo-cli: " << line << "\n";
  return status;
}

// A transfer takes long: a file it could not be saved to is found out before it starts.
std::optional<int> OutputsUnwritable(const Args& a) {
  for (const char* option : {"-o", "--backup"}) {
    if (const auto it = a.options.find(option); it != a.options.end()) {
      const FileResult writable = CheckWritable(it->second);
      if (!writable.ok) return Fail(writable.message, kFileError);
    }
  }
  return std::nullopt;
}

const std::string& OutputFile(const Args& a) {
  const auto it = a.options.find("-o");
  if (it == a.options.end()) throw UsageError{"a -o FILE megadása kötelező"};
  return it->second;
}

void NoPositional(const Args& a) {
  if (!a.positional.empty()) throw UsageError{"fölösleges argumentum: " + a.positional[0]};
}

// What one command does with the device once the port is open.
using DeviceStep = std::function<TransferResult(Transfers&)>;

// Opens the port, runs `step` on `image` and says why it failed, if it did. Returns
// the exit status of a failure, nothing when the transfer went through. A backup the upload
// could not write ends it as a file error, whatever the device said.
std::optional<int> RunOnDevice(const Args& a, ConfigImage& image, const DeviceStep& step,
                               const bool* backupUnwritten = nullptr) {
  DeviceConnection connection;
  TransferResult result = TransferResult::Failed;
  std::vector<int> differing;
  std::string failure;
  try {
    OpenPort(connection, a);
    SerialLinkPort linkPort(connection);
    SteadyClock clock;
    CliHost host(connection);
    Transfers transfers(linkPort, clock, host, image);
    result = step(transfers);
    differing = transfers.Differing();
    if (result != TransferResult::Ok)
      failure = host.message().empty() ? "az átvitel nem sikerült" : host.message();
    if (result == TransferResult::TypeUnknown) {
      failure += " Típusellenőrzés nélkül a --no-type-check kapcsolóval lehet feltölteni.";
    }
  } catch (const EComPort& e) {
    failure = connection.PortName() + ": " + e.what();
  }
  if (backupUnwritten && *backupUnwritten) return Fail(failure, kFileError);
  if (result == TransferResult::VerifyFailed) {
    for (int segment : differing) {
      std::cerr << "eltérő memória szegmens: " << segment << "\n";
    }
    return Fail(failure, kVerifyError);
  }
  if (!failure.empty()) return Fail(failure, kTransferError);
  return std::nullopt;
}

}  // namespace

int RunDownloadCommand(const Args& a) {
  NoPositional(a);
  const std::string& out = OutputFile(a);
  if (const auto status = OutputsUnwritable(a)) return *status;
  DatabaseRecord record;
  NewDatabaseDefaults(record, ImageLayout::For(DeviceModel::FourLine));
  record.site.set(RecordText(a, "--site"));
  record.owner.set(RecordText(a, "--owner"));
  record.password.set(RecordText(a, "--password"));
  if (const auto status =
          RunOnDevice(a, record.image, [](Transfers& t) { return t.DownloadImage(); }))
    return *status;
  const SaveResult saved = SaveDatabaseFile(out, record);
  if (!saved.ok) return Fail(saved.message, kFileError);
  std::cerr << "Mentve: " << out << "\n";
  return 0;
}

int RunPromCommand(const Args& a) {
  NoPositional(a);
  const std::string& out = OutputFile(a);
  if (const auto status = OutputsUnwritable(a)) return *status;
  ConfigImage prom;
  if (const auto status = RunOnDevice(a, prom, [](Transfers& t) { return t.DownloadProm(); }))
    return *status;
  const FileResult written = WriteFileAtomically(
      out, std::string_view(reinterpret_cast<const char*>(prom.raw().data()), kImageSize));
  if (!written.ok) return Fail(written.message, kFileError);
  std::cerr << "Mentve: " << out << "\n";
  return 0;
}

int RunClockCommand(const Args& a) {
  NoPositional(a);
  ConfigImage unused;
  if (const auto status = RunOnDevice(a, unused, [](Transfers& t) { return t.SyncClock(); }))
    return *status;
  return 0;
}

int RunUploadCommand(const Args& a) {
  if (a.positional.size() != 1) throw UsageError{"egy adatbázis fájlt kell megadni"};
  if (const auto status = OutputsUnwritable(a)) return *status;
  // Asked for on the terminal like every other command's database when not given.
  auto opened = OpenDatabase(a.positional[0], a, "--password", ParseModel(a));
  if (!opened) return kFileError;
  DatabaseRecord record = std::move(opened->record);

  ConfigImage backup;
  UploadOptions options;
  options.verify = a.flags.count("--verify") > 0;
  options.withoutTypeCheck = a.flags.count("--no-type-check") > 0;
  bool backupUnwritten = false;
  if (const auto it = a.options.find("--backup"); it != a.options.end()) {
    const std::string& path = it->second;
    options.backup = &backup;
    // Written before the first segment goes out, so it is there whatever becomes of the
    // upload: a lost line, a stop, the device refusing.
    options.keepBackup = [&](const ConfigImage& read) {
      const auto failed = SaveDeviceBackup(path, record, read);
      if (failed) {
        backupUnwritten = true;
      } else {
        std::cerr << "A készülék beállításai mentve: " << path << "\n";
      }
      return failed;
    };
  }
  const DeviceModel model = opened->model;
  if (const auto status = RunOnDevice(
          a, record.image, [&](Transfers& t) { return t.UploadImage(model, options); },
          &backupUnwritten))
    return *status;
  return 0;
}

}  // namespace tarvelo
