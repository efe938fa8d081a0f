#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/run_error.h"
#include "colormap/colormap.h"
#include "config/options.h"
#include "parsers/forward_walk.h"
#include "parsers/random_access.h"
#include "platform/byte_buffer.h"
#include "platform/platform.h"
#include "render/input_stream.h"

namespace lumo {

/// One opened input with its colors: a file read in place, a stream held
/// whole (in a spill file or in memory), or a stream read as it flows.
class Document {
 public:
  /// The name that messages give the input.
  const std::string& displayName() const { return display_name_; }
  /// The size in bytes; none for a stream read as it flows.
  std::optional<std::uint64_t> size() const;
  const Colormap& colormap() const { return colormap_; }
  /// The walk that colors a stream as it flows, or none: the colormap then
  /// is empty, and the walk colors the one stream from offset 0.
  ForwardWalk* forwardWalk() const { return forward_.get(); }

  /// Positioned reads: of the whole input when it is held whole, else of
  /// the first bytes only, those that chose its format.
  const RandomAccess& access() const { return *access_; }

  /// The bytes from `offset` on. An input held whole gives any number of
  /// these; a stream read as it flows gives one, whose bytes before
  /// `offset` are read and dropped. May throw std::bad_alloc.
  std::unique_ptr<InputStream> streamFrom(std::uint64_t offset);

 private:
  enum class Held : std::uint8_t { File, Memory, Flowing };
  friend RunResult<Document> openDocument(const std::string& file, const Options& options,
                                          bool mayFlow);

  void holdFile(platform::InputSource source);
  void holdMemory(ByteBuffer bytes);
  void holdFlowing(platform::InputSource source, ByteBuffer head);
  RunStatus takeStream(platform::InputSource source, const Options& options, bool mayFlow);

  std::string display_name_;
  Held held_ = Held::Flowing;
  // The file, the spilled copy, or the stream still flowing.
  std::unique_ptr<platform::InputSource> source_;
  // The whole input held in memory, or the first bytes of a flowing stream.
  ByteBuffer memory_;
  std::unique_ptr<RandomAccess> access_;
  Colormap colormap_;
  std::unique_ptr<ForwardWalk> forward_;
};

/// Opens `file` ("-" for standard input), reads as much of it as its format
/// needs and colors it. The failures are those the run reports: the file
/// cannot be opened or read, memory or the spill file's room runs out, the
/// forced format does not match, or a stream is asked for a window from its
/// end. Without `mayFlow`, a stream that its format could color as it
/// flows is held whole and colored like a file, so that its colormap is
/// there (for a comparison, which reads two inputs side by side).
RunResult<Document> openDocument(const std::string& file, const Options& options,
                                 bool mayFlow = true);

}  // namespace lumo
