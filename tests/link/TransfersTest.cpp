#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>

#include "link/Transfers.h"
#include "tests/link/FakeDevice.h"

using namespace tarvelo;

namespace {

struct RecordingHost : TransferHost {
  FakeClock& clock;
  std::vector<std::string> statuses, messages;
  std::optional<DeviceModel> model;
  int decodes = 0, closes = 0;
  bool open = true;
  int cancelAfter = -1;     // segments shown before the stop request
  uint32_t cancelAtMs = 0;  // or the time of the stop request, when above 0
  std::tm now{};

  explicit RecordingHost(FakeClock& c) : clock(c) {}
  void Status(const std::string& t) override { statuses.push_back(t); }
  void Message(const std::string& t) override { messages.push_back(t); }
  void Busy(bool) override {}
  // Shown in the status panel as the window does.
  void Progress(const TransferProgress& p) override { statuses.push_back(ProgressText(p)); }
  void ProcessEvents(int waitMs) override { clock.now += static_cast<uint32_t>(waitMs); }
  bool Cancelled() override {
    if (cancelAtMs > 0 && clock.now >= cancelAtMs) return true;
    return cancelAfter >= 0 && static_cast<int>(statuses.size()) > cancelAfter;
  }
  void SwitchModel(DeviceModel m) override { model = m; }
  void Decode() override { ++decodes; }
  bool PortOpen() override { return open; }
  int lastError = ENOENT;
  int LastSystemError() override { return lastError; }
  void ReleasePort() override { ++closes; }
  std::tm LocalTime() override { return now; }
};

std::vector<std::string> Writes(const std::vector<std::string>& frames) {
  std::vector<std::string> writes;
  for (const auto& f : frames) {
    if (f[0] == 'U') writes.push_back(f);
  }
  return writes;
}

struct Rig {
  FakeClock clock;
  FakePort port{clock};
  RecordingHost host{clock};
  ConfigImage image;
  SimDevice device;
  Transfers transfers{port, clock, host, image};
  Rig() { device.Attach(port); }
};

}  // namespace

TEST(Transfers, DownloadChoosesTheModelFromTheVersionText) {
  struct Case {
    std::string version;
    DeviceModel model;
    int first;
  };
  for (const Case& c :
       {Case{"P4239", DeviceModel::FourLine, 44}, Case{"P4290", DeviceModel::SixteenLine, 51}}) {
    Rig rig;
    for (int i = 0; i < 8192; ++i) rig.device.memory[i] = static_cast<char>(i * 7);
    rig.device.memory.replace(kVersionTextOffset, 5, c.version);
    rig.image.Fill(0, 8191, 0xAA);
    EXPECT_EQ(rig.transfers.DownloadImage(), TransferResult::Ok);
    EXPECT_EQ(rig.host.model, c.model);
    EXPECT_EQ(rig.device.frames[0], "D2BD4\r");
    EXPECT_EQ(rig.device.frames[1], "D2BD4\r") << "the type is read twice too";
    EXPECT_EQ(rig.device.frames[2], SegmentLink::ReadRequest('D', c.first));
    for (int i = 0; i < 8192; ++i) {
      const bool read = i / 32 == 43 || i / 32 >= c.first;
      ASSERT_EQ(rig.image.ImageByte(i), read ? static_cast<uint8_t>(rig.device.memory[i]) : 0) << i;
    }
    EXPECT_EQ(rig.host.statuses.front(), "Tipusellenőrzés...");
    EXPECT_EQ(rig.host.statuses[1], "Memória szegmens: " + std::to_string(c.first) + "/255");
    EXPECT_EQ(rig.host.statuses.back(), "Sikeres letöltés.");
    EXPECT_EQ(rig.host.decodes, 1);
    EXPECT_EQ(rig.host.closes, 1);
    EXPECT_TRUE(rig.host.messages.empty());
  }
}

// A type reply spoilt consistently (its checksum made over the spoilt bytes) is caught by
// the double read and cannot switch the model.
TEST(Transfers, OneSpoiltTypeReplyDoesNotSwitchTheModel) {
  Rig rig;
  rig.device.memory.replace(kVersionTextOffset, 5, "P4239");
  rig.device.spoil = [](int request, std::string& reply) {
    if (request == 0) {
      reply[8] = '$';
      reply = Reply(reply.substr(0, 32));
    }
  };
  EXPECT_EQ(rig.transfers.DownloadImage(), TransferResult::Ok);
  EXPECT_EQ(rig.host.model, DeviceModel::FourLine);
  EXPECT_EQ(rig.image.VersionText(), "P4239");
}

// A download that does not finish leaves the image and the model as they were: the window
// still shows them, and a save or an upload must not write the zeros of unread segments.
TEST(Transfers, SilentDeviceGivesUp) {
  Rig rig;
  rig.device.silent = true;
  rig.image.Fill(0, 8191, 0x55);
  EXPECT_EQ(rig.transfers.DownloadImage(), TransferResult::Failed);
  // Eleven reads of the type segment and eleven of segment 51, each ended by its time-out.
  ASSERT_EQ(rig.device.frames.size(), 11u + 11u);
  EXPECT_EQ(rig.device.frames[10], "D2BD4\r");
  EXPECT_EQ(rig.device.frames[11], "D33CC\r") << "zero bytes are not P4239";
  EXPECT_FALSE(rig.host.model) << "a failed download switches no model";
  EXPECT_EQ(rig.host.statuses.back(), "Kommunikációs hiba.");
  EXPECT_EQ(rig.host.messages, (std::vector<std::string>{"Letöltési időtúllépés !!!"}));
  EXPECT_EQ(rig.host.decodes, 0);
  for (int i = 0; i < 8192; ++i) ASSERT_EQ(rig.image.ImageByte(i), 0x55);
}

TEST(Transfers, AnUnfinishedDownloadLeavesTheImageAsItWas) {
  struct Case {
    const char* what;
    std::function<void(Rig&)> spoil;
    TransferResult result;
    size_t frames = 0;  // of the image download, when it matters
  };
  const Case cases[] = {
      // The type read still chooses the range: segment 44 on, eleven times.
      {"silent after its type", [](Rig& r) { r.device.onlySegment = 43; }, TransferResult::Failed,
       2 + 11},
      {"silent half way",
       [](Rig& r) {
         r.device.spoil = [&r](int request, std::string&) {
           if (request == 40) r.device.silent = true;
         };
       },
       TransferResult::Failed},
      {"stopped", [](Rig& r) { r.host.cancelAfter = 20; }, TransferResult::Cancelled},
  };
  for (const Case& c : cases) {
    for (bool prom : {false, true}) {
      Rig rig;
      rig.device.memory.replace(kVersionTextOffset, 5, "P4239");
      rig.image.Fill(0, 8191, 0x55);
      c.spoil(rig);
      EXPECT_EQ(prom ? rig.transfers.DownloadProm() : rig.transfers.DownloadImage(), c.result)
          << c.what;
      EXPECT_FALSE(rig.host.model) << c.what;
      EXPECT_EQ(rig.host.decodes, 0) << c.what;
      EXPECT_EQ(rig.host.closes, 1) << c.what;
      if (!prom && c.frames) {
        EXPECT_EQ(rig.device.frames.size(), c.frames) << c.what;
        EXPECT_EQ(rig.device.frames.back(), "D2CD3\r") << c.what;
      }
      EXPECT_EQ(rig.image.Bytes(0, 8192), std::string(8192, '\x55')) << c.what << " " << prom;
    }
  }
}

// A device that answers one request at a time, in order, and now and then only after the
// requester has given up: the answers still owed then arrive while the next segment is
// being read. Carrying the previous segment's bytes with right sums, two of them in a row
// would agree with each other. Whatever the timing, a finished download holds the device's
// memory exactly.
TEST(Transfers, LateAnswersNeverLandInTheNextSegment) {
  int wrong = 0, finished = 0;
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    Rig rig;
    for (int i = 0; i < 8192; ++i) rig.device.memory[i] = static_cast<char>(i / 32 * 3 + seed);
    rig.device.memory.replace(kVersionTextOffset, 5, "P4239");
    uint32_t random = seed * 2654435761u;
    uint32_t free = 0;  // when the device has answered everything asked so far
    rig.port.respond = [&](const std::string& text) {
      if (text == "\x03" || text == "\x1B\x1B") return;
      rig.device.frames.push_back(text);
      const int segment = std::stoi(text.substr(1, 2), nullptr, 16);
      random = random * 1103515245u + 12345u;
      const bool late = (random >> 16) % 100 < 20;
      const uint32_t ready =
          std::max(free, rig.clock.now) + (late ? 1050 + (random >> 8) % 300 : 2);
      free = ready + 3;
      rig.port.Arrive(ready - rig.clock.now, Reply(rig.device.memory.substr(segment * 32, 32)));
    };
    if (rig.transfers.DownloadImage() != TransferResult::Ok) continue;
    ++finished;
    const int first = FirstTransferSegment(*rig.host.model) * 32;
    if (rig.image.Bytes(first, 8192 - first) != rig.device.memory.substr(first)) ++wrong;
  }
  EXPECT_EQ(wrong, 0) << "of " << finished << " finished downloads";
  EXPECT_GT(finished, 30);
}

// The same device taking frames: it refuses some, and some of its answers come late. A late
// acknowledgement must not pass for the answer to the frame after, which may have been
// refused: a finished upload leaves the device holding the image's range.
TEST(Transfers, LateAcknowledgementsNeverPassForTheNextFrame) {
  int wrong = 0, finished = 0;
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    Rig rig;
    for (int i = 0; i < 8192; ++i) rig.image.raw()[i] = static_cast<uint8_t>(i / 32 * 5 + seed);
    uint32_t random = seed * 2246822519u;
    uint32_t free = 0;
    rig.port.respond = [&](const std::string& text) {
      if (text[0] != 'U') return;  // break-in bytes and the type question go unanswered
      random = random * 1103515245u + 12345u;
      const bool refused = (random >> 16) % 100 < 10;
      const bool late = (random >> 8) % 100 < 20;
      const int segment = std::stoi(text.substr(1, 2), nullptr, 16);
      if (!refused) {
        for (int i = 0; i < 32; ++i)
          rig.device.memory[segment * 32 + i] =
              static_cast<char>(std::stoi(text.substr(3 + 2 * i, 2), nullptr, 16));
      }
      const uint32_t ready = std::max(free, rig.clock.now) + (late ? 1050 + random % 300 : 2);
      free = ready + 1;
      rig.port.Arrive(ready - rig.clock.now, std::string(1, refused ? '\x15' : '\x06'));
    };
    UploadOptions untyped;
    untyped.withoutTypeCheck = true;
    if (rig.transfers.UploadImage(DeviceModel::FourLine, untyped) != TransferResult::Ok) continue;
    ++finished;
    const int first = FirstTransferSegment(DeviceModel::FourLine) * 32;
    if (rig.device.memory.substr(first) != rig.image.Bytes(first, 8192 - first)) ++wrong;
  }
  EXPECT_EQ(wrong, 0) << "of " << finished << " finished uploads";
  EXPECT_GT(finished, 20);
}

TEST(Transfers, WrongChecksumsForeverEndTheDownload) {
  Rig rig;
  rig.device.memory.replace(kVersionTextOffset, 5, "P4239");
  rig.device.badSums = true;
  EXPECT_EQ(rig.transfers.DownloadImage(), TransferResult::Failed);
  EXPECT_EQ(rig.host.messages, (std::vector<std::string>{"Letöltési időtúllépés !!!"}));
  EXPECT_LE(rig.device.frames.size(), 11u * 2u + 11u * 11u * 2u);
}

TEST(Transfers, PromDownloadReadsAllSegments) {
  Rig rig;
  for (int i = 0; i < 8192; ++i) rig.device.prom[i] = static_cast<char>(i ^ 0x5A);
  EXPECT_EQ(rig.transfers.DownloadProm(), TransferResult::Ok);
  EXPECT_FALSE(rig.host.model) << "no type check";
  EXPECT_EQ(rig.device.frames.front(), "P00FF\r");
  EXPECT_EQ(rig.device.frames.size(), 512u);
  for (int i = 0; i < 8192; ++i) ASSERT_EQ(rig.image.ImageByte(i), static_cast<uint8_t>(i ^ 0x5A));
  EXPECT_EQ(rig.host.statuses.front(), "PROM letöltése...");
}

TEST(Transfers, UploadSendsTheTransferRange) {
  for (auto [model, frames] :
       {std::pair{DeviceModel::FourLine, 212u}, std::pair{DeviceModel::SixteenLine, 205u}}) {
    Rig rig;
    rig.device.memory.replace(kVersionTextOffset, 5,
                              model == DeviceModel::FourLine ? "P4239" : "P4290");
    std::string expected = rig.device.memory;
    for (int i = 0; i < 8192; ++i) rig.image.SetImageByte(i, static_cast<uint8_t>(i * 3));
    EXPECT_EQ(rig.transfers.UploadImage(model), TransferResult::Ok);
    // The type is asked first.
    EXPECT_EQ(rig.device.frames[0], "D2BD4\r");
    EXPECT_EQ(Writes(rig.device.frames).size(), frames);
    const int first = FirstTransferSegment(model);
    EXPECT_EQ(Writes(rig.device.frames).front().substr(0, 3),
              "U" + std::string(first == 44 ? "2C" : "33"));
    for (int i = 0; i < 8192; ++i) {
      ASSERT_EQ(static_cast<uint8_t>(rig.device.memory[i]),
                i / 32 >= first ? static_cast<uint8_t>(i * 3) : static_cast<uint8_t>(expected[i]))
          << i;
    }
    EXPECT_EQ(rig.host.statuses.back(), "Sikeres feltöltés");
  }
}

// The upload's model check is its two reads of the type segment: a device that answers them
// gets no break-in and no wait before its first frame; one that takes requests only after a
// break-in is broken in and then backed up, written and checked as any other.
TEST(Transfers, UploadBreaksInOnlyWhenTheDeviceDoesNotAnswer) {
  for (const bool needsBreakIn : {false, true}) {
    SCOPED_TRACE(needsBreakIn ? "needs the break-in" : "answers at once");
    Rig rig;
    rig.device.needsBreakIn = needsBreakIn;
    for (int i = 0; i < 8192; ++i) rig.device.memory[i] = static_cast<char>(i * 5);
    rig.device.memory.replace(kVersionTextOffset, 5, "P4239");
    const std::string before = rig.device.memory;
    for (int i = 0; i < 8192; ++i) rig.image.SetImageByte(i, static_cast<uint8_t>(i * 3));
    const uint32_t start = rig.clock.now;
    uint32_t checkedAt = 0;  // when the first request after the type question went out
    const auto device = rig.port.respond;
    rig.port.respond = [&](const std::string& text) {
      if (checkedAt == 0 && text.size() > 2 && text != "D2BD4\r") checkedAt = rig.clock.now;
      device(text);
    };
    ConfigImage backup;
    EXPECT_EQ(rig.transfers.UploadImage(DeviceModel::FourLine, {&backup, true, {}}),
              TransferResult::Ok);
    const bool etxSent = std::find(rig.port.written.begin(), rig.port.written.end(), "\x03") !=
                         rig.port.written.end();
    EXPECT_EQ(etxSent, needsBreakIn);
    EXPECT_EQ(rig.device.breakIns, needsBreakIn ? 1 : 0);
    // The unanswered question before the break-in is asked once and not waited out twice.
    const std::vector<std::string> typeReads(needsBreakIn ? 3 : 2, "D2BD4\r");
    EXPECT_EQ(std::vector<std::string>(rig.device.frames.begin(),
                                       rig.device.frames.begin() + typeReads.size()),
              typeReads);
    EXPECT_LE(checkedAt - start, needsBreakIn ? 2100u : 20u);
    EXPECT_EQ(backup.Bytes(43 * 32, 8192 - 43 * 32), before.substr(43 * 32));
    for (int i = 44 * 32; i < 8192; ++i)
      ASSERT_EQ(static_cast<uint8_t>(rig.device.memory[i]), static_cast<uint8_t>(i * 3)) << i;
    EXPECT_TRUE(rig.host.messages.empty());
    EXPECT_EQ(rig.host.statuses.back(), "Sikeres feltöltés");
  }
}

TEST(Transfers, UploadStopsAfterElevenRejections) {
  Rig rig;
  rig.device.memory.replace(kVersionTextOffset, 5, "P4239");
  rig.device.answer = 0x15;
  EXPECT_EQ(rig.transfers.UploadImage(DeviceModel::FourLine), TransferResult::Failed);
  EXPECT_EQ(Writes(rig.device.frames).size(), 11u);
  for (const auto& f : Writes(rig.device.frames)) EXPECT_EQ(f.substr(0, 3), "U2C");
  EXPECT_EQ(rig.host.messages, (std::vector<std::string>{"Feltöltési időtúllépés !!!"}));
}

// The wrong image is never written: a device of the other model gets nothing, and neither
// does one whose type cannot be read (its replies cut, or no version text), unless the
// upload is told to go on without the check; a device naming the other model is refused
// even then.
TEST(Transfers, UploadWritesOnlyADeviceOfItsModel) {
  struct Case {
    const char* version;
    bool cutType;  // the replies to the type question are cut short
    bool withoutTypeCheck;
    bool sameModel;  // the version text names the upload's model
    TransferResult result;
  };
  const Case cases[] = {
      {"other", false, false, false, TransferResult::WrongModel},
      {"other", false, true, false, TransferResult::WrongModel},
      {"own", false, false, true, TransferResult::Ok},
      {"", true, false, false, TransferResult::TypeUnknown},
      {"own", true, false, false, TransferResult::TypeUnknown},
      {"", false, false, false, TransferResult::TypeUnknown},
      {"own", true, true, false, TransferResult::Ok},
      {"", false, true, false, TransferResult::Ok},
  };
  for (const DeviceModel model : {DeviceModel::FourLine, DeviceModel::SixteenLine}) {
    const bool four = model == DeviceModel::FourLine;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(four ? "4-line " : "16-line ") + c.version +
                   (c.cutType ? ", cut" : "") + (c.withoutTypeCheck ? ", without check" : ""));
      Rig rig;
      const std::string own = four ? "P4239" : "P4290", other = four ? "P4290" : "P4239";
      std::string version;
      if (std::string(c.version) == "own") version = own;
      if (std::string(c.version) == "other") version = other;
      rig.device.memory.replace(kVersionTextOffset, version.size(), version);
      if (c.cutType) {
        rig.device.spoil = [&](int request, std::string& reply) {
          if (rig.device.frames[request].substr(0, 3) == "D2B") reply.resize(20);
        };
      }
      const std::string before = rig.device.memory;
      UploadOptions options;
      options.withoutTypeCheck = c.withoutTypeCheck;
      EXPECT_EQ(rig.transfers.UploadImage(model, options), c.result);
      EXPECT_EQ(rig.host.closes, 1);
      if (c.result == TransferResult::Ok) {
        EXPECT_EQ(Writes(rig.device.frames).size(), four ? 212u : 205u);
        EXPECT_EQ(rig.host.statuses.back(), "Sikeres feltöltés");
        continue;
      }
      EXPECT_TRUE(Writes(rig.device.frames).empty());
      EXPECT_EQ(rig.device.memory, before);
      ASSERT_EQ(rig.host.messages.size(), 1u);
      EXPECT_NE(rig.host.messages[0].find("nem indult el"), std::string::npos);
      if (c.result == TransferResult::WrongModel) {
        EXPECT_NE(rig.host.messages[0].find(ModelName(model)), std::string::npos);
        EXPECT_NE(rig.host.messages[0].find(four ? ModelName(DeviceModel::SixteenLine)
                                                 : ModelName(DeviceModel::FourLine)),
                  std::string::npos);
        EXPECT_EQ(rig.host.statuses.back(), "Eltérő készüléktípus, nincs feltöltés.");
      } else {
        EXPECT_NE(rig.host.messages[0].find("típusa nem olvasható"), std::string::npos);
        EXPECT_EQ(rig.host.statuses.back(), "Ismeretlen készüléktípus, nincs feltöltés.");
      }
    }
  }
}

TEST(Transfers, UploadWithBackupAndVerify) {
  Rig rig;
  for (int i = 0; i < 8192; ++i) rig.device.memory[i] = static_cast<char>(i * 5);
  rig.device.memory.replace(kVersionTextOffset, 5, "P4239");
  const std::string before = rig.device.memory;
  for (int i = 0; i < 8192; ++i) rig.image.SetImageByte(i, static_cast<uint8_t>(i * 3));
  rig.device.misstoredSegment = 100;
  ConfigImage backup;
  EXPECT_EQ(rig.transfers.UploadImage(DeviceModel::FourLine, {&backup, true, {}}),
            TransferResult::VerifyFailed);
  for (int i = 0; i < 8192; ++i) {
    const bool kept = i / 32 == 43 || i / 32 >= 44;
    ASSERT_EQ(backup.ImageByte(i), kept ? static_cast<uint8_t>(before[i]) : 0) << i;
  }
  EXPECT_EQ(rig.transfers.Differing(), std::vector<int>{100});
  ASSERT_EQ(rig.host.messages.size(), 1u);
  EXPECT_NE(rig.host.messages[0].find(": 100"), std::string::npos) << rig.host.messages[0];

  // A clean device verifies; a backup that cannot be read stops the upload before a write.
  Rig clean;
  clean.device.memory.replace(kVersionTextOffset, 5, "P4290");
  EXPECT_EQ(clean.transfers.UploadImage(DeviceModel::SixteenLine, {nullptr, true, {}}),
            TransferResult::Ok);
  Rig silent;
  silent.device.silent = true;
  EXPECT_EQ(silent.transfers.UploadImage(DeviceModel::FourLine, {&backup, false, {}, true}),
            TransferResult::Failed);
  EXPECT_TRUE(Writes(silent.device.frames).empty());
}

// The backup is kept before the first segment is written: whatever becomes of the upload
// after that, the device's previous configuration is safe. One that cannot be kept stops the
// upload before it changes anything.
TEST(Transfers, TheBackupIsKeptBeforeTheFirstWrite) {
  struct Case {
    const char* name;
    uint8_t answer;  // to every write frame
    std::optional<std::string> keepFails;
    TransferResult result;
  };
  const Case cases[] = {
      {"upload goes through", kAck, std::nullopt, TransferResult::Ok},
      {"device refuses every frame", kNak, std::nullopt, TransferResult::Failed},
      {"backup cannot be written", kAck, "a lemez megtelt", TransferResult::Failed},
  };
  for (const Case& c : cases) {
    Rig rig;
    for (int i = 0; i < 8192; ++i) rig.device.memory[i] = static_cast<char>(i * 5);
    rig.device.memory.replace(kVersionTextOffset, 5, "P4239");
    rig.device.answer = c.answer;
    const std::string before = rig.device.memory;
    ConfigImage backup;
    int keeps = 0;
    size_t writesWhenKept = 99;
    ConfigImage kept;
    UploadOptions options{&backup, false, [&](const ConfigImage& read) {
                            ++keeps;
                            writesWhenKept = Writes(rig.device.frames).size();
                            kept = read;
                            return c.keepFails;
                          }};
    EXPECT_EQ(rig.transfers.UploadImage(DeviceModel::FourLine, options), c.result) << c.name;
    EXPECT_EQ(keeps, 1) << c.name;
    EXPECT_EQ(writesWhenKept, 0u) << c.name;
    EXPECT_EQ(kept.Bytes(44 * 32, 8192 - 44 * 32), before.substr(44 * 32)) << c.name;
    EXPECT_EQ(rig.host.closes, 1) << c.name;
    if (c.keepFails) {
      EXPECT_TRUE(Writes(rig.device.frames).empty()) << c.name;
      ASSERT_EQ(rig.host.messages.size(), 1u) << c.name;
      EXPECT_NE(rig.host.messages[0].find(*c.keepFails), std::string::npos);
      EXPECT_NE(rig.host.messages[0].find("nem indult el"), std::string::npos);
    }
  }
}

// Every frame was acknowledged but the memory cannot be read back: the upload did not time
// out, the check is what is missing, and the user is told so.
TEST(Transfers, AnUnreadableVerifyIsNoUploadTimeOut) {
  Rig rig;
  rig.device.spoil = [&rig](int request, std::string& reply) {
    const auto& frames = rig.device.frames;
    const bool written = std::any_of(frames.begin(), frames.begin() + request,
                                     [](const std::string& f) { return f[0] == 'U'; });
    if (written && frames[request][0] == 'D') reply[32] = static_cast<char>(reply[32] + 1);
  };
  rig.device.memory.replace(kVersionTextOffset, 5, "P4290");
  EXPECT_EQ(rig.transfers.UploadImage(DeviceModel::SixteenLine, {nullptr, true, {}}),
            TransferResult::Failed);
  EXPECT_EQ(Writes(rig.device.frames).size(), 256u - 51u);
  ASSERT_EQ(rig.host.messages.size(), 1u);
  EXPECT_NE(rig.host.messages[0].find("az ellenőrzés elmaradt"), std::string::npos);
  EXPECT_EQ(rig.host.statuses.back(), "Kommunikációs hiba.");
  EXPECT_EQ(rig.host.closes, 1);
}

// Nothing else reads the line during a transfer, so a byte left waiting must not pass for
// the device's answer to the clock frame; and a stop ends the attempts.
TEST(Transfers, ClockTakesNoStaleByteForAnAnswerAndStops) {
  Rig stale;
  stale.device.silent = true;
  stale.port.Arrive(0, "\x06");
  EXPECT_EQ(stale.transfers.SyncClock(), TransferResult::Failed);
  EXPECT_EQ(stale.device.frames.size(), 11u);

  Rig stop;
  stop.device.silent = true;
  stop.host.cancelAtMs = stop.clock.now + 3000;
  EXPECT_EQ(stop.transfers.SyncClock(), TransferResult::Cancelled);
  EXPECT_EQ(stop.device.frames.size(), 2u);
  EXPECT_EQ(stop.host.statuses.back(), "Megszakítva.");
  EXPECT_EQ(stop.host.closes, 1);
}

TEST(Transfers, ClockFrame) {
  Rig rig;
  rig.host.now.tm_year = 2026 - 1900;
  rig.host.now.tm_mon = 2;
  rig.host.now.tm_mday = 3;
  rig.host.now.tm_hour = 14;
  rig.host.now.tm_min = 5;
  rig.host.now.tm_sec = 9;
  EXPECT_EQ(rig.transfers.SyncClock(), TransferResult::Ok);
  ASSERT_EQ(rig.device.frames.size(), 1u);
  const std::string& f = rig.device.frames[0];
  EXPECT_EQ(f.substr(0, 3 + 14), "U2B20260303140509");
  EXPECT_EQ(f.substr(17, 50), std::string(50, '0'));
  EXPECT_EQ(f, SegmentLink::BuildWriteFrame(43, "20260303140509" + std::string(50, '0')));
  EXPECT_EQ(rig.host.statuses.back(), "Sikeres feltöltés");

  Rig silent;
  silent.device.silent = true;
  EXPECT_EQ(silent.transfers.SyncClock(), TransferResult::Failed);
  EXPECT_EQ(silent.device.frames.size(), 11u);
  EXPECT_EQ(silent.host.messages, (std::vector<std::string>{"Feltöltési időtúllépés !!!"}));

  // A refusal is no success; any other answer is taken as before.
  struct Case {
    uint8_t answer;
    TransferResult result;
    size_t frames;
  };
  for (const Case& c : {Case{0x15, TransferResult::Failed, 11u}, Case{0x06, TransferResult::Ok, 1u},
                        Case{0x00, TransferResult::Ok, 1u}}) {
    Rig r;
    r.device.answer = c.answer;
    EXPECT_EQ(r.transfers.SyncClock(), c.result) << int(c.answer);
    EXPECT_EQ(r.device.frames.size(), c.frames) << int(c.answer);
  }
}

TEST(Transfers, PortNotOpenAndStopRequests) {
  Rig rig;
  rig.host.open = false;
  EXPECT_EQ(rig.transfers.DownloadImage(), TransferResult::PortNotOpen);
  // The message says why in words, not with the system's number.
  EXPECT_EQ(rig.host.messages,
            (std::vector<std::string>{"Portnyitási hiba! (nincs ilyen fájl vagy mappa)"}));
  EXPECT_EQ(rig.transfers.UploadImage(DeviceModel::FourLine), TransferResult::PortNotOpen);
  EXPECT_EQ(rig.host.messages.size(), 1u) << "the upload says nothing";
  // No open failed: the port was closed after it opened.
  rig.host.lastError = 0;
  EXPECT_EQ(rig.transfers.DownloadProm(), TransferResult::PortNotOpen);
  EXPECT_EQ(rig.host.messages.back(), "Portnyitási hiba! (a port nincs megnyitva)");

  Rig stop;
  stop.host.cancelAfter = 5;
  EXPECT_EQ(stop.transfers.DownloadImage(), TransferResult::Cancelled);
  EXPECT_EQ(stop.host.decodes, 0);
  EXPECT_EQ(stop.host.closes, 1);
  EXPECT_EQ(stop.host.statuses.back(), "Megszakítva.");
}

namespace {

// Distinct segments, with a run of equal ones in the middle: there an answer owed for the
// segment before carries the right bytes, and the first segment after the run is where it
// would pass for the wrong one.
std::string MemoryWithARun(uint32_t seed) {
  std::string memory(8192, '\0');
  for (int i = 0; i < 8192; ++i) memory[i] = static_cast<char>(i / 32 * 3 + seed + i % 7);
  std::fill(memory.begin() + 120 * 32, memory.begin() + 160 * 32, '\0');
  memory.replace(kVersionTextOffset, 5, "P4239");
  return memory;
}

struct LineRig {
  FakeClock clock;
  FakePort port{clock};
  RecordingHost host{clock};
  ConfigImage image;
  LineDevice device{clock, port};
  Transfers transfers{port, clock, host, image};
};

// Late copies of earlier answers at rate `percent`, 50 ms to 1.6 s after the answer.
std::function<std::optional<uint32_t>(int)> RandomCopies(uint32_t seed, int percent) {
  return [random = seed * 2654435761u, percent](int) mutable -> std::optional<uint32_t> {
    random = random * 1103515245u + 12345u;
    if ((random >> 16) % 100 >= static_cast<uint32_t>(percent)) return std::nullopt;
    return 50 + (random >> 4) % 1551;
  };
}

}  // namespace

// A device that sends a copy of an earlier answer again, late: taken as the answer to the
// request made then, it puts the line one answer out of step, and two such copies made the
// answers for a segment agree as the next one's (every segment after holding the one
// before's bytes). Copies at chosen moments, then at random: a finished download holds the
// device's memory exactly, and at 5 % every one finishes.
TEST(Transfers, LateCopiesOfAnswersNeverPassForAnotherSegment) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, uint32_t>> copies;  // answer number, ms after it
  };
  const Case cases[] = {
      {"one copy", {{10, 60}}},
      {"two copies, the line two answers behind", {{10, 60}, {30, 60}}},
      {"copies within the run", {{2 * (120 - 44) + 4, 50}, {2 * (120 - 44) + 10, 50}}},
      {"copies just before the run ends", {{2 * (160 - 44) - 3, 50}, {2 * (160 - 44) - 1, 50}}},
      {"a copy as the last segment is read", {{2 * (256 - 44) - 1, 1}}},
  };
  for (const Case& c : cases) {
    for (int way = 0; way < 3; ++way) {
      const bool prom = way == 1, deaf = way == 2;
      SCOPED_TRACE(std::string(c.name) + (prom ? " (PROM)" : deaf ? " (deaf while talking)" : ""));
      LineRig rig;
      rig.device.deaf = deaf;
      rig.device.memory = MemoryWithARun(1);
      rig.device.prom = MemoryWithARun(2);
      rig.device.copyAfter = [&c](int answer) -> std::optional<uint32_t> {
        for (const auto& [n, after] : c.copies) {
          if (n == answer) return after;
        }
        return std::nullopt;
      };
      ASSERT_EQ(prom ? rig.transfers.DownloadProm() : rig.transfers.DownloadImage(),
                TransferResult::Ok);
      const std::string& source = prom ? rig.device.prom : rig.device.memory;
      const int first = prom ? 0 : 44;
      EXPECT_EQ(rig.image.Bytes(first * 32, 8192 - first * 32), source.substr(first * 32));
    }
  }
  for (int percent : {5, 20}) {
    int finished = 0, wrong = 0;
    for (uint32_t seed = 1; seed <= 20; ++seed) {
      LineRig rig;
      rig.device.deaf = seed % 2 == 0;
      rig.device.memory = MemoryWithARun(seed);
      rig.device.copyAfter = RandomCopies(seed, percent);
      if (rig.transfers.DownloadImage() != TransferResult::Ok) continue;
      ++finished;
      if (rig.image.Bytes(44 * 32, 8192 - 44 * 32) != rig.device.memory.substr(44 * 32)) ++wrong;
    }
    EXPECT_EQ(wrong, 0) << percent << " %, of " << finished << " finished";
    EXPECT_GE(finished, percent == 5 ? 20 : 15) << percent << " %";
  }
}

// The same for the write frames' acknowledgements: a copy of an acknowledgement must not
// pass for the answer to a frame the device refused, and the backup and the check read
// after it hold the device's bytes.
TEST(Transfers, LateCopiesOfAcknowledgementsNeverPassForARefusal) {
  for (int percent : {5, 20}) {
    int finished = 0, wrong = 0;
    for (uint32_t seed = 1; seed <= 15; ++seed) {
      LineRig rig;
      rig.device.memory = MemoryWithARun(seed);
      const std::string before = rig.device.memory;
      const std::string wanted = MemoryWithARun(seed + 100);
      std::copy(wanted.begin(), wanted.end(), reinterpret_cast<char*>(rig.image.raw().data()));
      rig.device.copyAfter = RandomCopies(seed, percent);
      rig.device.refuse = [random = seed * 40503u](int) mutable {
        random = random * 1103515245u + 12345u;
        return (random >> 16) % 100 < 10;
      };
      ConfigImage backup;
      const TransferResult result =
          rig.transfers.UploadImage(DeviceModel::FourLine, {&backup, true, {}});
      if (rig.transfers.BackupTaken() &&
          backup.Bytes(44 * 32, 8192 - 44 * 32) != before.substr(44 * 32)) {
        ++wrong;
      }
      if (result != TransferResult::Ok) continue;
      ++finished;
      if (rig.device.memory.substr(44 * 32) != wanted.substr(44 * 32)) ++wrong;
    }
    EXPECT_EQ(wrong, 0) << percent << " %, of " << finished << " finished";
    EXPECT_GE(finished, percent == 5 ? 15 : 10) << percent << " %";
  }
}

// Where answers come within a tick or two, the clock cannot tell an early answer from a
// prompt one: such a line is written to as any other.
TEST(Transfers, AnswersWithinATickAreNotTakenForEarlyOnes) {
  Rig rig;
  int frame = 0;
  rig.port.respond = [&](const std::string& text) {
    if (text[0] == 'U') rig.port.Arrive(frame++ % 2, "\x06");
  };
  EXPECT_EQ(rig.transfers.UploadImage(DeviceModel::FourLine, {nullptr, false, {}, true}),
            TransferResult::Ok);
  EXPECT_EQ(frame, 212);
}

// A refusal on a line in step is the answer to the frame just sent: that frame alone goes
// again, with no waiting for a quiet line and no frames sent twice.
TEST(Transfers, ARefusalOnACleanLineSendsOnlyThatFrameAgain) {
  Rig rig;
  rig.device.memory.replace(kVersionTextOffset, 5, "P4239");
  int writes = 0, refused = 0;
  rig.device.spoil = [&](int, std::string& reply) {
    if (reply.size() != 1) return;
    if (writes++ % 3 == 0) {
      reply[0] = static_cast<char>(kNak);
      ++refused;
    }
  };
  const uint32_t before = rig.clock.now;
  EXPECT_EQ(rig.transfers.UploadImage(DeviceModel::FourLine), TransferResult::Ok);
  EXPECT_EQ(Writes(rig.device.frames).size(), 212u + static_cast<size_t>(refused));
  EXPECT_LT(rig.clock.now - before, 1000u + 11u * 2000u + 212u * 3u * 5u)
      << "no quiet-line waits for plain refusals";
}
