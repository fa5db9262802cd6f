#pragma once
/// Printing the system's texts on a terminal: UTF-8, with the line ends of the texts (CR in reports,
/// LF CR in the overlap warning) turned into LF.

#include <cstdio>
#include <ostream>
#include <string>
#include <string_view>

namespace ar4::cli {

/// CR, and the pair LF CR, become LF.
std::string WithLfLineEnds(std::string_view text);

/// Prints `text` with LF line ends and a final LF.
void PrintText(std::ostream& out, std::string_view text);

/// Prints "ar4conv: <message>" on stderr and returns the usage-error exit code.
int UsageFailure(const std::string& message);

/// An exception that no command caught: "Ошибки" and the exception's text on stderr; returns the
/// failure exit code.
int UnexpectedFailure(const char* what) noexcept;

/// True when the stream is a terminal (progress lines are shown only there).
bool IsTerminal(std::FILE* stream);

/// On Windows, stdout and stderr in binary mode so that every byte goes out as written.
void SetBinaryOutput();

/// Flushes stdout and returns the command's exit code: success, or failure with a message on stderr when
/// anything written to stdout was lost (a full disk, a closed pipe).
int FinishStandardOutput();

}  // namespace ar4::cli
