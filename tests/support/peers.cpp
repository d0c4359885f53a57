#include "support/peers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace tavi::test {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

void WriteFile(const std::string& path, std::string_view text) {
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text;
  }
  fs::rename(temp, path);  // readers never see half a file
}

// A GetRequest of the reply object (request id 1), to see whether an agent answers yet.
constexpr std::array<unsigned char, 48> kProbe{
    0x30, 0x2E, 0x02, 0x01, 0x00, 0x04, 0x06, 0x70, 0x75, 0x62, 0x6C, 0x69, 0x63, 0xA0, 0x21, 0x02,
    0x04, 0x00, 0x00, 0x00, 0x01, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x13, 0x30, 0x11, 0x06,
    0x0D, 0x2B, 0x06, 0x01, 0x04, 0x01, 0xB9, 0x6D, 0x02, 0x02, 0x02, 0x01, 0x18, 0x01, 0x05, 0x00};

sockaddr_in Endpoint(const std::string& address, std::uint16_t port) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  inet_pton(AF_INET, address.c_str(), &peer.sin_addr);
  return peer;
}

bool AgentAnswers(const std::string& address, std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const sockaddr_in peer = Endpoint(address, port);
  bool answered = false;
  if (::sendto(fd, kProbe.data(), kProbe.size(), 0, reinterpret_cast<const sockaddr*>(&peer),
               sizeof peer) == static_cast<ssize_t>(kProbe.size())) {
    pollfd entry{fd, POLLIN, 0};
    answered = ::poll(&entry, 1, 100) == 1 && (entry.revents & POLLIN) != 0;
  }
  ::close(fd);
  return answered;
}

bool Listens(const std::string& address, std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const sockaddr_in peer = Endpoint(address, port);
  const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0;
  ::close(fd);
  return ok;
}

template <typename Ready>
bool WaitUntil(ChildProcess& process, Ready ready) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (std::chrono::steady_clock::now() < deadline) {
    if (!process.Running()) return false;
    if (ready()) return true;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

// The cache of the unpacked LPRng tree: beside the build's programs, else under /tmp.
std::string LprngCache() {
  const char* bin = std::getenv("TAVI_BIN_DIR");
  return bin != nullptr ? std::string(bin) + "/../peer-cache" : "/tmp/tavi-peer-cache";
}

}  // namespace

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "tavi-peer-XXXXXX").string();
  if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) fs::remove_all(path_, ignored);
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::string& log_path,
                         const std::vector<std::string>& extra_env) {
  std::vector<std::string> env_text;
  for (char** e = environ; *e != nullptr; ++e) env_text.emplace_back(*e);
  env_text.insert(env_text.end(), extra_env.begin(), extra_env.end());
  std::vector<char*> env;
  for (auto& e : env_text) env.push_back(e.data());
  env.push_back(nullptr);
  std::vector<std::string> args_text(argv);
  std::vector<char*> args;
  for (auto& a : args_text) args.push_back(a.data());
  args.push_back(nullptr);

  const int log = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  const int null_in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::setpgid(0, 0);
    ::dup2(null_in, 0);
    ::dup2(log, 1);
    ::dup2(log, 2);
    ::execvpe(args[0], args.data(), env.data());
    ::_exit(127);
  }
  if (log >= 0) ::close(log);
  if (null_in >= 0) ::close(null_in);
  if (pid_ > 0) ::setpgid(pid_, pid_);  // also from here, so Stop never races the child
  return pid_ > 0;
}

bool ChildProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) == pid_) {
    ::kill(-pid_, SIGTERM);  // anything it left behind in its group
    pid_ = -1;
    return false;
  }
  return true;
}

void ChildProcess::Stop() {
  if (pid_ <= 0) return;
  ::kill(-pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + 3s;
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(-pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(5ms);
  }
  ::kill(-pid_, SIGKILL);  // children of the group that outlived their parent
  pid_ = -1;
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

SnmpdPeer::SnmpdPeer(std::string address, std::uint16_t port, bool family_objects)
    : address_(std::move(address)), port_(port), family_objects_(family_objects) {}

bool SnmpdPeer::Start(std::string& why) {
  if (dir_.path().empty()) return why = "no temporary directory", false;
  if (::access("/usr/sbin/snmpd", X_OK) != 0) {
    return why = "snmpd is not installed (scripts/setup installs it)", false;
  }
  const std::string dir = dir_.path();
  fs::create_directories(dir + "/persist");
  WriteFile(dir + "/helper.sh", R"(state="$1"
while read -r cmd; do
  case "$cmd" in
    PING) echo PONG ;;
    get) read -r oid
      case "$oid" in
        .1.3.6.1.4.1.7405.2.2.2.1.24.1) echo "$oid"; echo octet; read -r v < "$state/reply"; echo "$v" ;;
        .1.3.6.1.4.1.7405.2.8.1.0) echo "$oid"; echo integer; echo 0 ;;
        *) echo NONE ;;
      esac ;;
    getnext) read -r oid; echo NONE ;;
    set) read -r oid; read -r value
      case "$oid" in
        .1.3.6.1.4.1.7405.2.8.1.0) echo "$value" >> "$state/sets"; echo DONE ;;
        *) echo not-writable ;;
      esac ;;
    *) echo NONE ;;
  esac
done
)");
  SetReply("");
  std::string conf = "agentaddress udp:" + address_ + ":" + std::to_string(port_) +
                     "\nrwcommunity public 127.0.0.0/8\n";
  if (family_objects_) {
    conf += "pass_persist .1.3.6.1.4.1.7405.2 /bin/sh " + dir + "/helper.sh " + dir + "\n";
  }
  WriteFile(dir + "/snmpd.conf", conf);
  log_ = dir + "/snmpd.log";
  if (!process_.Start({"/usr/sbin/snmpd", "-f", "-Lo", "-C", "-c", dir + "/snmpd.conf", "-I",
                       "-smux", "-m", ""},
                      log_, {"SNMP_PERSISTENT_DIR=" + dir + "/persist"})) {
    return why = "cannot start snmpd", false;
  }
  if (!WaitUntil(process_, [&] { return AgentAnswers(address_, port_); })) {
    why = "snmpd did not answer on " + address_ + ":" + std::to_string(port_) + ": " +
          ReadFileText(log_);
    process_.Stop();
    return false;
  }
  return true;
}

void SnmpdPeer::Stop() {
  process_.Stop();
}

void SnmpdPeer::SetReply(std::string_view bytes) {
  std::string hex;
  char piece[4];
  for (unsigned char c : bytes) {
    std::snprintf(piece, sizeof piece, "%02X ", c);
    hex += piece;
  }
  if (hex.empty()) hex = "\"\"";  // the agent's form of an empty string
  WriteFile(dir_.path() + "/reply", hex + "\n");
}

std::vector<std::string> SnmpdPeer::RestartSets() const {
  std::vector<std::string> sets;
  std::istringstream in(ReadFileText(dir_.path() + "/sets"));
  for (std::string line; std::getline(in, line);) sets.push_back(line);
  return sets;
}

LprngPeer::LprngPeer(std::string address, std::uint16_t port)
    : address_(std::move(address)), port_(port) {}

bool LprngPeer::Start(std::string& why) {
  if (dir_.path().empty()) return why = "no temporary directory", false;
  const std::string cache = LprngCache();
  const std::string lpd = cache + "/root/usr/sbin/lpd";
  if (::access(lpd.c_str(), X_OK) != 0) {
    fs::create_directories(cache);
    const std::string fetch = "cd '" + cache + "' && flock fetch.lock sh -c '[ -x " + lpd +
                              " ] || { apt-get download lprng && dpkg-deb -x lprng_*.deb root; }'" +
                              " >fetch.log 2>&1";
    if (std::system(fetch.c_str()) != 0 || ::access(lpd.c_str(), X_OK) != 0) {
      return why = "cannot fetch and unpack LPRng (see " + cache + "/fetch.log)", false;
    }
  }
  const std::string dir = dir_.path();
  fs::create_directories(dir + "/upper/lprng");
  fs::create_directories(dir + "/work");
  fs::create_directories(dir + "/spool/lp1");
  const std::string listen = address_ + "%" + std::to_string(port_);
  WriteFile(dir + "/upper/lprng/lpd.conf",
            "lpd_listen_port=" + listen + "\nlpd_port=" + listen +
                "\nunix_socket_path=off\nprintcap_path=" + dir + "/printcap\nperms_path=" + dir +
                "/lpd.perms\nlockfile=" + dir + "/lpd.lock\nuser=root\ngroup=root\n");
  WriteFile(dir + "/lpd.perms", "DEFAULT ACCEPT\n");
  WriteFile(dir + "/printcap", "lp1:sd=" + dir + "/spool/lp1:lp=/dev/null:mx#0\n");
  log_ = dir + "/lpd.log";
  WriteFile(log_, "");  // lpd appends to its log but will not create it
  // A private mount namespace with an overlay on /etc, so lpd reads our lpd.conf and the
  // machine's /etc stays untouched.
  const std::string script = "mount -t overlay overlay -o lowerdir=/etc,upperdir=" + dir +
                             "/upper,workdir=" + dir + "/work /etc && exec " + lpd + " -F -L " +
                             log_;
  if (!process_.Start({"unshare", "-m", "sh", "-c", script}, dir + "/stderr.log")) {
    return why = "cannot start lpd", false;
  }
  if (!WaitUntil(process_, [&] { return Listens(address_, port_); })) {
    why = "lpd did not listen on " + listen +
          " (needs unshare -m and overlay mounts): " + ReadFileText(dir + "/stderr.log");
    process_.Stop();
    return false;
  }
  return true;
}

void LprngPeer::Stop() {
  process_.Stop();
}

std::string LprngPeer::SpooledData(int* files) const {
  std::string data;
  int count = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir_.path() + "/spool/lp1", ec)) {
    if (entry.path().filename().string().rfind("df", 0) == 0) {
      ++count;
      data = ReadFileText(entry.path().string());
    }
  }
  if (files != nullptr) *files = count;
  return data;
}

}  // namespace tavi::test
