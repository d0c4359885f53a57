// ppdev as the kernel answers it for parport0, with the printer model behind compatibility-mode
// writes and the nibble-mode device-ID read.
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "frontends/printer_sim/devices/device_handlers.h"

namespace tavi::sim {
namespace {

constexpr const char* kNode = "/dev/parport0";
// Status lines of a printer that is on line and ready: not busy, no error, selected, paper.
constexpr unsigned char kReadyStatus =
    PARPORT_STATUS_BUSY | PARPORT_STATUS_ACK | PARPORT_STATUS_SELECT | PARPORT_STATUS_ERROR;

template <typename T>
T ReadArg(UMockdevIoctlData* arg, DataRef& data) {
  data = Resolve(arg, 0, sizeof(T));
  T value{};
  std::memcpy(&value, data.get()->data, sizeof value);
  return value;
}

template <typename T>
void WriteArg(UMockdevIoctlData* arg, const T& value) {
  DataRef data = Resolve(arg, 0, sizeof(T));
  std::memcpy(data.get()->data, &value, sizeof value);
}

}  // namespace

ParallelPortDevice::ParallelPortDevice(UMockdevTestbed* testbed, PrinterModel& model,
                                       const DeviceOptions& options)
    : testbed_(testbed), model_(model), options_(options) {
  handler_ = umockdev_ioctl_base_new();
  g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(&ParallelPortDevice::OnIoctl), this);
  g_signal_connect(handler_, "handle-read", G_CALLBACK(&ParallelPortDevice::OnRead), this);
  g_signal_connect(handler_, "handle-write", G_CALLBACK(&ParallelPortDevice::OnWrite), this);
  umockdev_testbed_attach_ioctl(testbed_, kNode, handler_, nullptr);
  const char* record =
      "P: /devices/platform/parport_pc.888/ppdev/parport0\n"
      "N: parport0\n"
      "E: SUBSYSTEM=ppdev\n"
      "E: DEVNAME=/dev/parport0\n"
      "A: dev=99:0\\n\n";
  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(testbed_, record, &error)) {
    model_.log().Add(
        Ev("parallel-port-failed").Str("error", error != nullptr ? error->message : "?").event);
    if (error != nullptr) g_error_free(error);
    return;
  }
  gchar* root = umockdev_testbed_get_root_dir(testbed_);
  const std::string base(root);
  g_free(root);
  // What the kernel lists under /proc/sys/dev/parport for a port at 0x378 without interrupt.
  WriteTestbedFile(base, "/proc/sys/dev/parport/parport0/base-addr", "888\t1912\n");
  WriteTestbedFile(base, "/proc/sys/dev/parport/parport0/irq", "-1\n");
  WriteTestbedFile(base, "/proc/sys/dev/parport/parport0/modes", "PCSPP,TRISTATE\n");
  if (options.fault == DeviceFault::kNoPermission) chmod((base + kNode).c_str(), 0);
  model_.log().Add(Ev("parallel-port").Str("node", kNode).event);
}

ParallelPortDevice::~ParallelPortDevice() {
  std::lock_guard lock(mutex_);
  umockdev_testbed_detach_ioctl(testbed_, kNode, nullptr);
  for (auto& [client, state] : clients_) {
    g_signal_handlers_disconnect_by_data(client, this);
    g_object_unref(client);
  }
  clients_.clear();
  g_object_unref(handler_);
}

void ParallelPortDevice::OnDisconnect(GObject* object, GParamSpec*, gpointer self) {
  auto* device = static_cast<ParallelPortDevice*>(self);
  auto* client = reinterpret_cast<UMockdevIoctlClient*>(object);
  if (umockdev_ioctl_client_get_connected(client)) return;
  std::lock_guard lock(device->mutex_);
  const auto it = device->clients_.find(client);
  if (it == device->clients_.end()) return;
  if (device->claimed_by_ == client) device->claimed_by_ = nullptr;
  device->clients_.erase(it);
  g_signal_handlers_disconnect_by_data(client, device);
  g_object_unref(client);
}

ParallelPortDevice::Client& ParallelPortDevice::StateOf(UMockdevIoctlClient* client) {
  if (clients_.find(client) == clients_.end()) {
    g_object_ref(client);
    g_signal_connect(client, "notify::connected", G_CALLBACK(&ParallelPortDevice::OnDisconnect),
                     this);
  }
  return clients_[client];
}

gboolean ParallelPortDevice::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client,
                                     gpointer self) {
  static_cast<ParallelPortDevice*>(self)->HandleIoctl(client);
  return TRUE;
}

gboolean ParallelPortDevice::OnRead(UMockdevIoctlBase*, UMockdevIoctlClient* client,
                                    gpointer self) {
  static_cast<ParallelPortDevice*>(self)->HandleRead(client);
  return TRUE;
}

gboolean ParallelPortDevice::OnWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client,
                                     gpointer self) {
  static_cast<ParallelPortDevice*>(self)->HandleWrite(client);
  return TRUE;
}

void ParallelPortDevice::HandleIoctl(UMockdevIoctlClient* client) {
  std::lock_guard lock(mutex_);
  Client& state = StateOf(client);
  const gulong request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  DataRef data;
  const bool claimed = claimed_by_ == client;
  // Everything but claiming needs the port claimed, as ppdev wants.
  if (request != PPCLAIM && request != PPEXCL && request != PPGETMODES && !claimed) {
    umockdev_ioctl_client_complete(client, -1, EINVAL);
    return;
  }
  long result = 0;
  int error = 0;
  switch (request) {
    case PPCLAIM:
      if (claimed_by_ != nullptr && !claimed) {
        result = -1;
        error = EBUSY;
      } else {
        claimed_by_ = client;
      }
      break;
    case PPRELEASE:
      claimed_by_ = nullptr;
      state.session.reset();
      state.in_id_mode = false;
      break;
    case PPEXCL:
      break;
    case PPGETMODES:
      WriteArg<unsigned int>(arg, PARPORT_MODE_PCSPP | PARPORT_MODE_TRISTATE);
      break;
    case PPSETMODE:
      state.mode = ReadArg<int>(arg, data);
      break;
    case PPGETMODE:
      WriteArg<int>(arg, state.mode);
      break;
    case PPNEGOT: {
      const int mode = ReadArg<int>(arg, data);
      state.in_id_mode = false;
      state.id.clear();
      if (mode == IEEE1284_MODE_COMPAT) {
        state.mode = mode;
      } else if (mode == (IEEE1284_MODE_NIBBLE | IEEE1284_DEVICEID)) {
        // Each negotiation asks the printer afresh.
        std::string reply;
        if (!model_.ReadReply(reply)) {
          result = -1;
          error = EIO;  // the printer does not take part
          break;
        }
        state.id = DeviceIdBytes(reply, options_.overstated_id_length);
        state.in_id_mode = true;
        state.mode = mode;
        model_.log().Add(Ev("parallel-device-id")
                             .Num("bytes", static_cast<std::int64_t>(state.id.size()))
                             .event);
      } else {
        result = -1;
        error = ENXIO;  // the printer rejects other modes
      }
      break;
    }
    case PPRSTATUS:
      WriteArg<unsigned char>(arg, kReadyStatus);
      break;
    case PPRCONTROL:
      WriteArg<unsigned char>(arg, control_);
      break;
    case PPWCONTROL:
      control_ = ReadArg<unsigned char>(arg, data);
      break;
    case PPFCONTROL: {
      const auto frob = ReadArg<ppdev_frob_struct>(arg, data);
      control_ = static_cast<unsigned char>((control_ & ~frob.mask) | (frob.val & frob.mask));
      break;
    }
    case PPRDATA:
      WriteArg<unsigned char>(arg, data_);
      break;
    case PPWDATA:
      data_ = ReadArg<unsigned char>(arg, data);
      break;
    case PPDATADIR:
    case PPSETTIME:
    case PPSETFLAGS:
    case PPWCTLONIRQ:
      break;
    case PPGETTIME:
      WriteArg<timeval>(arg, timeval{1, 0});
      break;
    case PPCLRIRQ:
      WriteArg<int>(arg, 0);
      break;
    default:
      result = -1;
      error = ENOTTY;
      break;
  }
  umockdev_ioctl_client_complete(client, result, error);
}

void ParallelPortDevice::HandleRead(UMockdevIoctlClient* client) {
  std::lock_guard lock(mutex_);
  Client& state = StateOf(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  if (claimed_by_ != client) {
    umockdev_ioctl_client_complete(client, -1, EINVAL);
    return;
  }
  // Outside a device-ID negotiation the printer has nothing to send.
  const std::size_t wanted = static_cast<std::size_t>(std::max(arg->data_len, 0));
  const std::size_t count = state.in_id_mode ? std::min(wanted, state.id.size()) : 0;
  if (count > 0) {
    umockdev_ioctl_data_update(arg, 0, reinterpret_cast<guint8*>(state.id.data()),
                               static_cast<gint>(count));
    state.id.erase(0, count);
  }
  umockdev_ioctl_client_complete(client, static_cast<long>(count), 0);
}

void ParallelPortDevice::HandleWrite(UMockdevIoctlClient* client) {
  std::lock_guard lock(mutex_);
  Client& state = StateOf(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  if (claimed_by_ != client || state.mode != IEEE1284_MODE_COMPAT) {
    umockdev_ioctl_client_complete(client, -1, EINVAL);
    return;
  }
  const auto length = static_cast<std::size_t>(std::max(arg->data_len, 0));
  if (!state.session) state.session = model_.OpenSession("parallel");
  model_.log().Add(Ev("parallel-write").Num("bytes", static_cast<std::int64_t>(length)).event);
  state.session->Write(std::string_view(reinterpret_cast<const char*>(arg->data), length));
  umockdev_ioctl_client_complete(client, static_cast<long>(length), 0);
}

}  // namespace tavi::sim
