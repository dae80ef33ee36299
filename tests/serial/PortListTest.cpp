// The port list on fake device and sysfs folders laid out as the kernel lays out the real ones.
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "serial/Platform.h"

namespace tarvelo {
namespace {

namespace fs = std::filesystem;

class PortList : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tarvelo-ports-XXXXXX";
    root_ = mkdtemp(tmpl);
    dev_ = root_ + "/dev";
    sys_ = root_ + "/sys";
    fs::create_directories(dev_);
    setenv("TARVELO_DEV_DIR", dev_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("TARVELO_DEV_DIR");
    unsetenv("TARVELO_SYS_DIR");
    fs::remove_all(root_);
  }
  static void Write(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text << "\n";
  }
  void Node(const std::string& name) { Write(dev_ + "/" + name, ""); }
  // A tty with hardware behind it: its device folder under sys/devices, the class entry
  // pointing there, and the driver link.
  void SysTty(const std::string& name, const std::string& deviceDir, const std::string& driver,
              const std::string& type = "") {
    const std::string device = sys_ + "/devices/" + deviceDir;
    const std::string entry = sys_ + "/class/tty/" + name;
    fs::create_directories(device);
    fs::create_directories(entry);
    fs::create_directories(sys_ + "/bus/drivers/" + driver);
    fs::create_directory_symlink(device, entry + "/device");
    fs::create_directory_symlink(sys_ + "/bus/drivers/" + driver, device + "/driver");
    if (!type.empty()) Write(entry + "/type", type);
  }
  void UsbDevice(const std::string& dir, const std::string& vendor, const std::string& product,
                 const std::string& serial, const std::string& maker, const std::string& name) {
    const std::string d = sys_ + "/devices/" + dir;
    Write(d + "/idVendor", vendor);
    Write(d + "/idProduct", product);
    Write(d + "/serial", serial);
    Write(d + "/manufacturer", maker);
    Write(d + "/product", name);
  }
  static std::vector<std::string> Names(const std::vector<platform::PortInfo>& ports) {
    std::vector<std::string> names;
    for (const auto& p : ports) names.push_back(p.name);
    return names;
  }
  static const platform::PortInfo* Find(const std::vector<platform::PortInfo>& ports,
                                        const std::string& name) {
    for (const auto& p : ports) {
      if (p.name == name) return &p;
    }
    return nullptr;
  }

  std::string root_, dev_, sys_;
};

// Only ports with hardware behind them: empty legacy slots, consoles and pseudo-terminals that
// sysfs knows of are left out; adapters come with what tells them apart.
TEST_F(PortList, OffersThePortsTheSystemHasWithTheirHardware) {
  for (const char* n : {"ttyS0", "ttyS1", "ttyS2", "ttyUSB0", "ttyUSB10", "ttyACM0", "tty0",
                        "console", "ttySX", "ttyAMA0"})
    Node(n);
  SysTty("ttyS0", "platform/serial8250/tty/ttyS0", "serial8250", "4");
  SysTty("ttyS1", "platform/serial8250/tty/ttyS1", "serial8250", "0");  // no UART there
  SysTty("ttyS2", "pnp/00:05/tty/ttyS2", "serial");  // no type: the port is asked, a file says no
  SysTty("ttyUSB0", "pci/usb1/1-1/1-1:1.0/ttyUSB0", "ftdi_sio");
  UsbDevice("pci/usb1/1-1", "0403", "6001", "A50285BI", "FTDI", "FT232R USB UART");
  SysTty("ttyACM0", "pci/usb1/1-2/1-2:1.0", "cdc_acm");
  UsbDevice("pci/usb1/1-2", "2341", "0043", "", "", "Modem");
  SysTty("ttyAMA0", "platform/fe201000.serial", "uart-pl011");
  fs::create_directories(sys_ + "/class/tty/tty0");  // a console: no device
  fs::create_directories(dev_ + "/serial/by-id");
  fs::create_symlink("../../ttyUSB0", dev_ + "/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0");
  setenv("TARVELO_SYS_DIR", sys_.c_str(), 1);

  const auto ports = platform::ListPorts();
  // ttyUSB10 has no sysfs entry (a node made by hand): it is there, so it is offered.
  EXPECT_EQ(Names(ports),
            (std::vector<std::string>{"ACM0", dev_ + "/ttyAMA0", "COM1", "COM3", "USB0", "USB10"}));
  const platform::PortInfo* usb = Find(ports, "USB0");
  ASSERT_TRUE(usb);
  EXPECT_EQ(usb->path, dev_ + "/ttyUSB0");
  EXPECT_EQ(usb->byId, dev_ + "/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0");
  EXPECT_EQ(usb->driver, "ftdi_sio");
  EXPECT_EQ(usb->usbId, "0403:6001");
  EXPECT_EQ(usb->serialNumber, "A50285BI");
  EXPECT_EQ(usb->description, "FTDI FT232R USB UART");
  const platform::PortInfo* acm = Find(ports, "ACM0");
  ASSERT_TRUE(acm);
  EXPECT_EQ(acm->driver, "cdc_acm");
  EXPECT_EQ(acm->usbId, "2341:0043");
  EXPECT_EQ(acm->description, "Modem");
  EXPECT_TRUE(acm->byId.empty());
  const platform::PortInfo* com1 = Find(ports, "COM1");
  ASSERT_TRUE(com1);
  EXPECT_EQ(com1->driver, "serial8250");
  EXPECT_TRUE(com1->usbId.empty());
  EXPECT_TRUE(com1->holder.empty());
  EXPECT_TRUE(com1->mayOpen);
}

TEST_F(PortList, AnEmptyOrMissingFolderHasNoPorts) {
  Node("console");
  EXPECT_TRUE(platform::ListPorts().empty());
  setenv("TARVELO_DEV_DIR", (root_ + "/nowhere").c_str(), 1);
  EXPECT_TRUE(platform::ListPorts().empty());
  // A link left behind by a simulator that has ended leads nowhere.
  setenv("TARVELO_DEV_DIR", dev_.c_str(), 1);
  fs::create_symlink("/dev/pts/999999", dev_ + "/ttyUSB3");
  EXPECT_TRUE(platform::ListPorts().empty());
}

// Another program holding a port open is named, so the installer knows what to close.
TEST_F(PortList, NamesTheProgramThatHoldsAPort) {
  Node("ttyUSB0");
  Node("ttyUSB1");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const std::string held = dev_ + "/ttyUSB1";
    execlp("sh", "sh", "-c", "exec sleep 30 <\"$0\"", held.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string holder;
  for (int i = 0; i < 200 && holder.find("sleep") == std::string::npos; ++i) {
    usleep(10000);
    for (const auto& p : platform::ListPorts()) {
      if (p.name == "USB1") holder = p.holder;
    }
  }
  EXPECT_EQ(holder, "sleep (pid " + std::to_string(child) + ")");
  for (const auto& p : platform::ListPorts()) {
    if (p.name == "USB0") {
      EXPECT_EQ(p.holder, "");
    }
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

// A port this user may not open is marked with the group that would let them in. As root the
// listing runs in a child that has given up its rights.
TEST_F(PortList, MarksAPortThisUserMayNotOpen) {
  Node("ttyUSB0");
  Node("ttyUSB1");
  fs::permissions(root_, fs::perms::all);
  fs::permissions(dev_, fs::perms::all);
  chmod((dev_ + "/ttyUSB0").c_str(), 0666);
  const std::string closed = dev_ + "/ttyUSB1";
  const bool root = geteuid() == 0;
  chmod(closed.c_str(), root ? 0660 : 0);
  if (root) chown(closed.c_str(), 0, 20);  // group 20 is "dialout" on Debian
  int pipefd[2];
  ASSERT_EQ(pipe(pipefd), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipefd[0]);
    if (root && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    std::string out;
    for (const auto& p : platform::ListPorts())
      out += p.name + ":" + (p.mayOpen ? "ok" : "no:" + p.group) + ";";
    if (write(pipefd[1], out.data(), out.size()) < 0) _exit(3);
    _exit(0);
  }
  close(pipefd[1]);
  std::string out;
  char buf[256];
  for (ssize_t n; (n = read(pipefd[0], buf, sizeof buf)) > 0;) out.append(buf, n);
  close(pipefd[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // Our own file with no rights at all has no group to join; "dialout" is the usual one.
  EXPECT_EQ(out, "USB0:ok;USB1:no:dialout;");
}

}  // namespace
}  // namespace tarvelo
