#include "support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace support {

TempDir::TempDir() {
  char tmpl[] = "/tmp/bench-test-XXXXXX";
  path = mkdtemp(tmpl);
}

std::string preloadable(const std::string& library) {
  if (library.find_first_of(" :") == std::string::npos) return library;
  static const TempDir links;
  std::string link = links.file(std::filesystem::path(library).filename().string());
  std::error_code made_before;  // by an earlier call for the same library
  std::filesystem::create_symlink(library, link, made_before);
  return link;
}

TempDir::~TempDir() {
  std::error_code error;
  std::filesystem::remove_all(path, error);
  if (error) {
    ADD_FAILURE() << "cannot remove " << path << ": " << error.message();
  }
}

const std::vector<std::string>& emulator() {
#if defined(BENCH_EMULATOR)
  static const std::vector<std::string> command{BENCH_EMULATOR};
#else
  static const std::vector<std::string> command;
#endif
  return command;
}

RunResult run(const std::string& program, const RunOptions& options) {
  TempDir capture;
  const std::string out_path = capture.file("out");
  const std::string err_path = capture.file("err");
  int captured[2] = {-1, -1};
  if (options.out == Out::Pipe && pipe(captured) != 0) {
    ADD_FAILURE() << "pipe";
  }
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(options.dir.c_str()) != 0) {
      _exit(120);
    }
    const int in = options.input_fd >= 0 ? options.input_fd : open(options.input.c_str(), O_RDONLY);
    dup2(in, 0);
    if (in != 0) {
      close(in);
    }
    int out = -1;
    switch (options.out) {
      case Out::File:
        out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        break;
      case Out::Pipe:
        close(captured[0]);
        out = captured[1];
        break;
      case Out::DevFull:
        out = open("/dev/full", O_WRONLY);
        break;
      case Out::ClosedPipe: {
        int fds[2];
        if (pipe(fds) != 0) {
          _exit(121);
        }
        close(fds[0]);  // nobody will ever read
        out = fds[1];
        break;
      }
      case Out::Closed:
        break;
    }
    if (out >= 0) {
      dup2(out, 1);
      close(out);
    } else {
      close(1);
    }
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(err, 2);
    close(err);
    for (const std::string& e : options.env) {
      putenv(const_cast<char*>(e.c_str()));
    }
    std::vector<char*> argv;
    for (const std::string& p : options.prefix) {
      argv.push_back(const_cast<char*>(p.c_str()));
    }
    for (const std::string& e : emulator()) {
      argv.push_back(const_cast<char*>(e.c_str()));
    }
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : options.args) {
      argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  RunResult result;
  if (options.out == Out::Pipe) {
    close(captured[1]);
    char buf[4096];
    ssize_t n = 0;
    while ((n = read(captured[0], buf, sizeof buf)) > 0) {
      result.out.append(buf, static_cast<std::size_t>(n));
    }
    close(captured[0]);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (options.out != Out::Pipe) {
    result.out = read_file(out_path);
  }
  result.err = read_file(err_path);
  return result;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

namespace {

std::size_t columns(const std::string& line) {
  std::size_t n = 0;
  for (const char ch : line) n += (static_cast<unsigned char>(ch) & 0xC0U) != 0x80U ? 1 : 0;
  return n;
}

}  // namespace

std::vector<std::string> lines_wider_than(const std::string& report, std::size_t width) {
  std::vector<std::string> found;
  for (const std::string& line : lines_of(report)) {
    if (columns(line) > width) found.push_back(std::to_string(columns(line)) + " columns: " + line);
  }
  return found;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) {
      lines.push_back(text.substr(begin) + "<no newline>");
      break;
    }
    lines.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return lines;
}

std::map<std::string, std::string> read_report(const std::string& path) {
  std::map<std::string, std::string> report;
  for (const std::string& line : lines_of(read_file(path))) {
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) {
      report[line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  return report;
}

const Texts kRandomTexts = {
    "Quorvantic Benchmark Standard Complex for x86_32bit system 2006.03.13",
    "Quorvantic Benchmark Standard Complex for x86_32bit system",
    "results_complex_32.txt",
    "References: tavrel_complex_32_readme.htm",
};

const Texts kFixedTexts = {
    "Quorvantic Benchmark Standard Complex Contrast for x86_32bit system 2006.03.13",
    "Quorvantic Benchmark Standard Complex Contrast for x86_32bit system",
    "results_complex_contrast_32.txt",
    "References: tavrel_complex_contrast_32_readme.htm",
};

namespace {

const char* const kHeadings[] = {"1. Numeric Simulation. <Integer>",
                                 "2. Numeric Simulation. <Float>", "3. DNA Simulation. <Logic>"};

// The per-test block both documents share; @spendN and @rateN stand for numbers.
void append_tests(std::vector<std::string>& lines) {
  for (int k = 0; k < 3; ++k) {
    if (k > 0) {
      lines.emplace_back("");
    }
    lines.emplace_back(kHeadings[k]);
    lines.emplace_back("");
    lines.push_back("@spend" + std::to_string(k));
    lines.push_back("@rate" + std::to_string(k));
  }
}

}  // namespace

std::vector<std::string> expected_console(const Texts& texts) {
  std::vector<std::string> lines = {
      "",
      texts.console_title,
      "Copyright (C) 2006 Quorvantic. All rights reserved.",
      "For Professional Edition and Support: support@quorvantic.example",
      "",
      "",
      "There are three tests at 1M executions. <CPU Intensive>",
      kHeadings[0],
      kHeadings[1],
      kHeadings[2],
      "",
      "Started . . .",
      ""};
  append_tests(lines);
  for (const std::string& tail :
       {std::string(), "Results: " + texts.results_file, texts.references_line, std::string(),
        std::string(), std::string("Please Press Enter to Exit.")}) {
    lines.push_back(tail);
  }
  return lines;
}

std::vector<std::string> expected_file(const Texts& texts) {
  std::vector<std::string> lines = {texts.file_title, "", ""};
  append_tests(lines);
  return lines;
}

bool is_report_number(const std::string& text) {
  if (text == "inf") {
    return true;
  }
  static const std::regex shape(R"((\d+)(?:\.(\d*[1-9]))?(?:e([+-]\d{3,}))?)");
  std::smatch m;
  if (!std::regex_match(text, m, shape)) {
    return false;
  }
  std::string digits = m[1].str() + m[2].str();
  digits.erase(0, digits.find_first_not_of('0'));  // leading zeros are not significant
  const double value = std::strtod(text.c_str(), nullptr);
  if (m[3].matched) {
    const int exponent = std::stoi(m[3].str());
    return m[1].length() == 1 && digits.size() <= 6 && (exponent < -4 || exponent >= 6);
  }
  return digits.size() <= 6 && (value == 0.0 || (value >= 1e-4 && value < 1e6));
}

Numbers check_document(const std::vector<std::string>& actual,
                       const std::vector<std::string>& expected) {
  Numbers numbers;
  EXPECT_EQ(actual.size(), expected.size());
  static const std::regex spend(R"(It spends: (\S+) Secs)");
  static const std::regex rate(R"(It is:     (\S+) M Executions/Secs)");
  for (std::size_t i = 0; i < actual.size() && i < expected.size(); ++i) {
    const std::string& want = expected[i];
    std::smatch m;
    if (want.rfind("@spend", 0) == 0) {
      EXPECT_TRUE(std::regex_match(actual[i], m, spend)) << "line " << i + 1 << ": " << actual[i];
      numbers.spend[want.back() - '0'] = m.empty() ? "" : m[1].str();
    } else if (want.rfind("@rate", 0) == 0) {
      EXPECT_TRUE(std::regex_match(actual[i], m, rate)) << "line " << i + 1 << ": " << actual[i];
      numbers.rate[want.back() - '0'] = m.empty() ? "" : m[1].str();
    } else {
      EXPECT_EQ(actual[i], want) << "line " << i + 1;
    }
  }
  for (int k = 0; k < 3; ++k) {
    EXPECT_TRUE(is_report_number(numbers.spend[k])) << numbers.spend[k];
    EXPECT_TRUE(is_report_number(numbers.rate[k])) << numbers.rate[k];
    const double t = std::strtod(numbers.spend[k].c_str(), nullptr);
    const double r = std::strtod(numbers.rate[k].c_str(), nullptr);
    EXPECT_GT(t, 0.0);
    // Each side is rounded to six significant digits.
    EXPECT_NEAR(r * t, 1.0, 1.2e-5) << numbers.spend[k] << " " << numbers.rate[k];
  }
  return numbers;
}

}  // namespace support
