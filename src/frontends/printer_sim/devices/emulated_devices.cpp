#include "frontends/printer_sim/devices/emulated_devices.h"

#include <linux/capability.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "frontends/printer_sim/devices/device_handlers.h"

namespace tavi::sim {
namespace {

constexpr const char* kPreload = "libumockdev-preload.so.0";

// The environment `environ` with `name` set to `addition`, followed by its old value if any.
void Prepend(std::vector<std::string>& env, const std::string& name, const std::string& addition,
             char separator) {
  const std::string prefix = name + "=";
  for (std::string& entry : env) {
    if (entry.starts_with(prefix)) {
      const std::string old = entry.substr(prefix.size());
      entry = prefix + addition + (old.empty() ? "" : separator + old);
      return;
    }
  }
  env.push_back(prefix + addition);
}

}  // namespace

DataRef Resolve(UMockdevIoctlData* data, std::size_t offset, std::size_t size) {
  return DataRef(umockdev_ioctl_data_resolve(data, offset, size, nullptr));
}

std::string DeviceIdBytes(const std::string& reply_text, bool overstated) {
  const std::size_t claimed = reply_text.size() + 2 + (overstated ? 64 : 0);
  const std::size_t field = std::min<std::size_t>(claimed, 0xffff);
  std::string bytes;
  bytes.push_back(static_cast<char>(field >> 8));
  bytes.push_back(static_cast<char>(field & 0xff));
  return bytes + reply_text;
}

void WriteTestbedFile(const std::string& root, const std::string& path, const std::string& value) {
  const std::filesystem::path file = std::filesystem::path(root + path);
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  std::ofstream(file, std::ios::binary) << value;
}

struct EmulatedDevices::Testbed {
  Testbed() : bed(umockdev_testbed_new()) {}
  ~Testbed() { g_object_unref(bed); }
  UMockdevTestbed* bed;
};

EmulatedDevices::EmulatedDevices() : testbed_(std::make_unique<Testbed>()) {}

EmulatedDevices::~EmulatedDevices() {
  usb_.clear();
  parallel_.reset();
  testbed_.reset();
}

std::string EmulatedDevices::root() const {
  gchar* root = umockdev_testbed_get_root_dir(testbed_->bed);
  std::string text(root);
  g_free(root);
  return text;
}

void EmulatedDevices::AddUsbPrinters(PrinterModel& model, const DeviceOptions& options) {
  if (options.fault == DeviceFault::kAbsent) return;
  UsbPrinterDevice::DeviceSetup setup;
  setup.product_id = options.usb_product_id;
  setup.fault = options.fault;
  setup.overstated_id_length = options.overstated_id_length;
  const bool two =
      options.fault == DeviceFault::kFirstBusy || options.fault == DeviceFault::kFirstNoPermission;
  if (two) {
    UsbPrinterDevice::DeviceSetup first = setup;
    first.fault = options.fault == DeviceFault::kFirstBusy ? DeviceFault::kFirstBusy
                                                           : DeviceFault::kNoPermission;
    usb_.push_back(std::make_unique<UsbPrinterDevice>(testbed_->bed, model, first));
    setup.address = 6;
    setup.fault = DeviceFault::kNone;
  }
  usb_.push_back(std::make_unique<UsbPrinterDevice>(testbed_->bed, model, setup));
  deny_file_override_ = deny_file_override_ || options.fault == DeviceFault::kNoPermission ||
                        options.fault == DeviceFault::kFirstNoPermission;
}

void EmulatedDevices::AddParallelPort(PrinterModel& model, const DeviceOptions& options) {
  if (options.fault == DeviceFault::kAbsent) return;
  parallel_ = std::make_unique<ParallelPortDevice>(testbed_->bed, model, options);
  deny_file_override_ = deny_file_override_ || options.fault == DeviceFault::kNoPermission;
}

pid_t EmulatedDevices::Start(const std::vector<std::string>& argv, std::string& error) {
  if (argv.empty()) {
    error = "no program to start";
    return -1;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // Everything the child needs is made before the fork: the child only calls what is safe
  // between fork and exec in a process with threads.
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  Prepend(env, "LD_PRELOAD", kPreload, ':');
  std::erase_if(env, [](const std::string& e) { return e.starts_with("UMOCKDEV_DIR="); });
  env.push_back("UMOCKDEV_DIR=" + root());
  // A sanitizer build would refuse to start behind the preload library otherwise.
  Prepend(env, "ASAN_OPTIONS", "verify_asan_link_order=0", ':');
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  const bool deny = deny_file_override_;
  const pid_t pid = fork();
  if (pid < 0) {
    error = std::string("cannot start a program: ") + std::strerror(errno);
    return -1;
  }
  if (pid == 0) {
    // No real I/O ports, whoever runs it; and a node closed to the user stays closed to root.
    prctl(PR_CAPBSET_DROP, CAP_SYS_RAWIO, 0, 0, 0);
    if (deny) {
      prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
      prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
    }
    execvpe(args[0], args.data(), envp.data());
    static const char kFailed[] = "tavi-printer-sim: cannot start the program\n";
    [[maybe_unused]] const ssize_t w = write(2, kFailed, sizeof kFailed - 1);
    _exit(127);
  }
  return pid;
}

}  // namespace tavi::sim
