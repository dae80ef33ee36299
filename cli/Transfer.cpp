#include "cli/Transfer.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
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
  long speed = 19200;
  if (const auto s = a.options.find("--speed"); s != a.options.end()) {
    char* end = nullptr;
    speed = std::strtol(s->second.c_str(), &end, 10);
    if (*end != '\0' || speed <= 0 || speed > 4000000)
      throw UsageError{"hibás --speed: " + s->second};
  }
  connection.port().SetEvents(0);  // nothing listens: no event thread
  const int baud = static_cast<int>(speed);
  connection.BeginTransfer(it->second, BaudRateFor(baud), baud);
}

int Fail(const std::string& line, int status) {
  std::cerr << "tarvelo-cli: " << line << "\n";
  return status;
}

}  // namespace

int RunTransferCommand(const std::string& command, int argc, char** argv) {
  const bool writesFile = command == "download" || command == "prom";
  std::vector<std::string> withValue = {"--port", "--speed"};
  if (writesFile) withValue.push_back("-o");
  if (command == "download") withValue.insert(withValue.end(), {"--site", "--owner", "--password"});
  if (command == "upload") withValue.insert(withValue.end(), {"--model", "--password", "--backup"});
  const std::vector<std::string> flags =
      command == "upload" ? std::vector<std::string>{"--verify", "--no-type-check"}
                          : std::vector<std::string>{};
  const Args a = Parse(argc, argv, 2, withValue, flags);
  if (command == "upload" ? a.positional.size() != 1 : !a.positional.empty()) {
    throw UsageError{command == "upload" ? "egy adatbázis fájlt kell megadni"
                                         : "fölösleges argumentum: " + a.positional[0]};
  }
  if (writesFile && !a.options.count("-o")) throw UsageError{"a -o FILE megadása kötelező"};
  // A transfer takes long: a file it could not be saved to is found out before it starts.
  for (const char* option : {"-o", "--backup"}) {
    if (const auto it = a.options.find(option); it != a.options.end()) {
      const FileResult writable = CheckWritable(it->second);
      if (!writable.ok) return Fail(writable.message, kFileError);
    }
  }

  DatabaseRecord record;
  DeviceModel uploadModel = DeviceModel::FourLine;
  if (command == "upload") {
    // Asked for on the terminal like every other command's database when not given.
    auto opened = OpenDatabase(a.positional[0], a, "--password", ParseModel(a));
    if (!opened) return kFileError;
    record = std::move(opened->record);
    uploadModel = opened->model;
  }
  if (command == "download") {
    NewDatabaseDefaults(record, ImageLayout::For(DeviceModel::FourLine));
    record.site.set(RecordText(a, "--site"));
    record.owner.set(RecordText(a, "--owner"));
    record.password.set(RecordText(a, "--password"));
  }

  ConfigImage backup;
  UploadOptions uploadOptions;
  uploadOptions.verify = a.flags.count("--verify") > 0;
  uploadOptions.withoutTypeCheck = a.flags.count("--no-type-check") > 0;
  bool backupUnwritten = false;
  if (a.options.count("--backup")) {
    uploadOptions.backup = &backup;
    // Written before the first segment goes out, so it is there whatever becomes of the
    // upload: a lost line, a stop, the device refusing.
    uploadOptions.keepBackup = [&](const ConfigImage& read) {
      const auto failed = SaveDeviceBackup(a.options.at("--backup"), record, read);
      if (failed) {
        backupUnwritten = true;
      } else {
        std::cerr << "A készülék beállításai mentve: " << a.options.at("--backup") << "\n";
      }
      return failed;
    };
  }

  DeviceConnection connection;
  TransferResult result = TransferResult::Failed;
  std::vector<int> differing;
  std::string failure;
  try {
    OpenPort(connection, a);
    SerialLinkPort linkPort(connection.port());
    SteadyClock clock;
    CliHost host(connection);
    Transfers transfers(linkPort, clock, host, record.image);
    if (command == "download")
      result = transfers.DownloadImage();
    else if (command == "prom")
      result = transfers.DownloadProm();
    else if (command == "upload")
      result = transfers.UploadImage(uploadModel, uploadOptions);
    else
      result = transfers.SyncClock();
    differing = transfers.Differing();
    if (result != TransferResult::Ok)
      failure = host.message().empty() ? "az átvitel nem sikerült" : host.message();
    if (result == TransferResult::TypeUnknown) {
      failure += " Típusellenőrzés nélkül a --no-type-check kapcsolóval lehet feltölteni.";
    }
  } catch (const EComPort& e) {
    failure = connection.port().Port() + ": " + e.what();
  }
  if (backupUnwritten) return Fail(failure, kFileError);
  if (result == TransferResult::VerifyFailed) {
    for (int segment : differing) {
      std::cerr << "eltérő memória szegmens: " << segment << "\n";
    }
    return Fail(failure, kVerifyError);
  }
  if (!failure.empty()) return Fail(failure, kTransferError);

  if (command == "download") {
    const SaveResult saved = SaveDatabaseFile(a.options.at("-o"), record);
    if (!saved.ok) return Fail(saved.message, kFileError);
    std::cerr << "Mentve: " << a.options.at("-o") << "\n";
  } else if (command == "prom") {
    const FileResult written = WriteFileAtomically(
        a.options.at("-o"),
        std::string_view(reinterpret_cast<const char*>(record.image.raw().data()), kImageSize));
    if (!written.ok) return Fail(written.message, kFileError);
    std::cerr << "Mentve: " << a.options.at("-o") << "\n";
  }
  return 0;
}

}  // namespace tarvelo
