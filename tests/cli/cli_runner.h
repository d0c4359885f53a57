// Runs the built tavi-cli through the shell and collects its exit status and output.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace tavi::test {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteAll(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A fresh folder for one test, removed at the end.
class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() / ("tavi-cli-test-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::string CliBinary() {
  const char* dir = std::getenv("TAVI_BIN_DIR");
  return std::string(dir != nullptr ? dir : ".") + "/tavi-cli";
}

// The tavi-cli to run, as a shell command: $TAVI_CLI_COMMAND when set (a command line used as it
// stands, e.g. a Windows build's tavi-cli.exe behind its emulator), else $TAVI_BIN_DIR/tavi-cli.
inline std::string CliCommand() {
  const char* command = std::getenv("TAVI_CLI_COMMAND");
  if (command != nullptr && *command != '\0') return command;
  return Quote(CliBinary());
}

// What a terminal shows of `raw` (a program's output to it), one line per line, and every state
// of a line that a carriage return rewrites kept as a line of its own. The cursor moves forward
// and the erasure to the line's end that a console draws with are applied; other control
// sequences are dropped.
inline std::string ScreenLines(const std::string& raw) {
  std::string shown;
  std::string line;
  std::size_t column = 0;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '\x1B' && i + 1 < raw.size() && raw[i + 1] == '[') {
      std::size_t end = i + 2;
      while (end < raw.size() && !(raw[end] >= '@' && raw[end] <= '~')) ++end;
      if (end == raw.size()) break;
      const std::string parameter = raw.substr(i + 2, end - i - 2);
      if (raw[end] == 'C') {
        column += parameter.empty() ? 1 : std::stoul(parameter);
        if (line.size() < column) line.resize(column, ' ');
      } else if (raw[end] == 'K' && parameter.empty()) {
        line.resize(std::min(line.size(), column));
      }
      i = end;
    } else if (c == '\r' || c == '\n') {
      shown += line + "\n";
      column = 0;
      if (c == '\n') line.clear();
    } else {
      if (column < line.size()) {
        line[column] = c;
      } else {
        line.resize(column, ' ');
        line += c;
      }
      ++column;
    }
  }
  return shown + line;
}

// The program under test is the Windows build's tavi-cli.exe ($TAVI_CLI_WINDOWS=1, set with
// $TAVI_CLI_COMMAND): a case that rests on a feature only POSIX systems have skips itself, and
// a system error's text carries the Windows name of the error.
inline bool CliIsWindows() {
  const char* windows = std::getenv("TAVI_CLI_WINDOWS");
  return windows != nullptr && std::string(windows) == "1";
}

// Runs `tavi-cli <args>` (args already quoted for the shell). With `interrupt_after` > 0 the
// program runs in the background and gets one SIGINT after that many seconds.
inline CliRun RunCli(const TempDir& dir, const std::string& args, double interrupt_after = 0) {
  const std::string out = dir / "cli.out";
  const std::string err = dir / "cli.err";
  const std::string rc = dir / "cli.rc";
  const std::string run = CliCommand() + " " + args + " >" + Quote(out) + " 2>" + Quote(err);
  std::string script;
  if (interrupt_after > 0) {
    script = run + " & p=$!; sleep " + std::to_string(interrupt_after) +
             "; kill -INT $p; wait $p; echo $? >" + Quote(rc);
  } else {
    script = run + "; echo $? >" + Quote(rc);
  }
  const std::string command = "bash -c " + Quote(script);
  CliRun result;
  if (std::system(command.c_str()) != 0) return result;
  const std::string status = ReadAll(rc);
  if (status.empty()) return result;
  result.status = std::stoi(status);
  result.out = ReadAll(out);
  result.err = ReadAll(err);
  return result;
}

}  // namespace tavi::test
