#include "cli/console.hpp"

#include <iostream>

#include "cli/commands.hpp"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace ar4::cli {

std::string WithLfLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n') {
      out.push_back('\n');
      if (i + 1 < text.size() && text[i + 1] == '\r') ++i;
    } else if (c == '\r') {
      out.push_back('\n');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

void PrintText(std::ostream& out, std::string_view text) {
  const std::string lf = WithLfLineEnds(text);
  out << lf;
  if (lf.empty() || lf.back() != '\n') out << '\n';
  out.flush();
}

int FinishStandardOutput() {
  std::cout.flush();
  if (std::cout) return kExitSuccess;
  std::cerr << "ar4conv: the standard output could not be written\n";
  return kExitFailure;
}

int UsageFailure(const std::string& message) {
  std::cerr << "ar4conv: " << message << '\n';
  return kExitUsage;
}

int UnexpectedFailure(const char* what) noexcept {
  // stdio rather than the streams: they may be what failed.
  std::fprintf(stderr, "Ошибки\nar4conv: %s\n", what);
  return kExitFailure;
}

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

void SetBinaryOutput() {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
}

}  // namespace ar4::cli
