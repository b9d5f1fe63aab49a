// An export file written atomically: the text goes into a temporary file in
// the destination's folder, which Commit() flushes to disk and renames over
// the final name. Until then the final name is untouched; a writer that is
// destroyed without Commit() removes its temporary file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mv::rpe {

class TOutputFile {
 public:
  // Creates the temporary file. Throws ERpeError(RE_ERR_EXPORTWRITE).
  explicit TOutputFile(std::string finalPath);
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  // Text is buffered; the buffer may be filled directly and then Flushed
  // when it grows past a threshold (FlushIfFull).
  void Write(std::string_view text) {
    FBuffer.append(text);
    FlushIfFull();
  }
  void Put(char c) { FBuffer.push_back(c); }
  std::string& Buffer() { return FBuffer; }
  void FlushIfFull() {
    if (FBuffer.size() >= kFlushSize) Flush();
  }
  void Flush();

  // Flushes, syncs, renames to the final name and syncs the folder.
  void Commit();
  const std::string& FinalPath() const { return FFinalPath; }
  const std::string& TempPath() const { return FTempPath; }

 private:
  static constexpr std::size_t kFlushSize = 1u << 18;
  std::string FFinalPath;
  std::string FTempPath;
  int FFd = -1;
  bool FCommitted = false;
  std::string FBuffer;

  [[noreturn]] void Fail(const char* what, int err) const;
};

// A scratch file for a writer's first pass, in the engine's temporary
// folder; it has no name on disk (unlinked at once) and goes with the object.
class TSpoolFile {
 public:
  explicit TSpoolFile(const std::string& folder);
  ~TSpoolFile();
  TSpoolFile(const TSpoolFile&) = delete;
  TSpoolFile& operator=(const TSpoolFile&) = delete;

  void Write(std::string_view text) {
    FBuffer.append(text);
    if (FBuffer.size() >= (1u << 18)) Flush();
  }
  std::string& Buffer() { return FBuffer; }
  void Flush();
  // Calls sink(chunk) with the whole content from the start, in chunks.
  template <class F>
  void ReadAll(F&& sink) {
    Flush();
    Rewind();
    std::string chunk;
    while (ReadChunk(chunk)) sink(std::string_view(chunk));
  }

 private:
  int FFd = -1;
  std::string FBuffer;
  void Rewind();
  bool ReadChunk(std::string& chunk);
};

}  // namespace mv::rpe
