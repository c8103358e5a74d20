// The test host's journal: one UTF-8 line per event, written and flushed at
// once so that a crash loses nothing already seen. Variable fields (paths,
// titles, messages) go through JournalEscape so that every event stays on
// one line and the escaping can be undone for the whole line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace QmHost {

// CR -> "\r", LF -> "\n", backslash -> "\\"; everything else unchanged.
std::wstring JournalEscape(std::wstring_view text);
// Inverse of JournalEscape (an unknown escape is kept as it stands).
std::wstring JournalUnescape(std::wstring_view line);

std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

class Journal {
public:
  Journal() = default;
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Creates (truncates) the file. Without a file every Write is dropped.
  bool Open(const std::wstring& path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }

  // Writes one finished line (fields already escaped); the line end is added.
  void Write(std::wstring_view line);

private:
  void* file_ = nullptr;
  void* lock_ = nullptr;  // CRITICAL_SECTION: events may come from any thread
};

// Reads a journal file back: one entry per line, still escaped.
std::vector<std::wstring> ReadJournalLines(const std::wstring& path);

} // namespace QmHost
