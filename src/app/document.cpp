#include "app/document.h"

#include <algorithm>
#include <utility>

#include "app/colorize.h"
#include "app/input_adapters.h"
#include "app/whole_stream.h"
#include "render/structure_map.h"

namespace lumo {
namespace {

// A stream whose first bytes were read to choose the format, without the
// bytes before the window.
class FlowingStream final : public InputStream {
 public:
  FlowingStream(ByteSpan head, platform::InputSource& source, std::uint64_t skipped)
      : prefixed_(head, source), dropping_(prefixed_, skipped) {}
  Result<std::size_t> read(std::uint8_t* out, std::size_t count) override {
    return dropping_.read(out, count);
  }
  bool mayWait() const override { return dropping_.mayWait(); }
  std::optional<std::uint64_t> sizeFoundWhileSkipping() const override {
    return dropping_.sizeFoundWhileSkipping();
  }

 private:
  PrefixedStream prefixed_;
  DroppingStream dropping_;
};

RunResult<platform::InputSource> openInput(const std::string& file) {
  if (file == "-") return platform::InputSource::standardInput();
  Result<platform::InputSource> opened = platform::InputSource::open(file);
  if (opened.ok()) return std::move(opened).value();
  switch (opened.failure()) {
    case Failure::IsDir: return failed(ErrorMessage::IsDirectory, file);
    case Failure::FileNotFound: return failed(ErrorMessage::NotFound, file);
    default: return failed(ErrorMessage::CouldNotOpen, file);
  }
}

}  // namespace

std::optional<std::uint64_t> Document::size() const {
  if (held_ == Held::Flowing) return std::nullopt;
  return access_->size();
}

std::unique_ptr<InputStream> Document::streamFrom(std::uint64_t offset) {
  switch (held_) {
    case Held::File: return std::make_unique<FileStream>(*source_, offset);
    case Held::Memory: {
      const std::size_t start =
          static_cast<std::size_t>(std::min<std::uint64_t>(offset, memory_.size()));
      return std::make_unique<MemoryStream>(memory_.bytes().subspan(start));
    }
    case Held::Flowing: return std::make_unique<FlowingStream>(memory_.bytes(), *source_, offset);
  }
  return nullptr;
}

// A file with a size is never held in memory: the formats read its headers
// in place and the dump reads it front to back.
void Document::holdFile(platform::InputSource source) {
  held_ = Held::File;
  source_ = std::make_unique<platform::InputSource>(std::move(source));
  access_ = std::make_unique<FileAccess>(*source_);
}

void Document::holdMemory(ByteBuffer bytes) {
  held_ = Held::Memory;
  source_.reset();
  memory_ = std::move(bytes);
  access_ = std::make_unique<MemoryAccess>(memory_.bytes());
}

void Document::holdFlowing(platform::InputSource source, ByteBuffer head) {
  held_ = Held::Flowing;
  source_ = std::make_unique<platform::InputSource>(std::move(source));
  memory_ = std::move(head);
  access_ = std::make_unique<MemoryAccess>(memory_.bytes());
}

// A stream's first bytes decide the format. Most need nothing more, so the
// rest flows through; a format whose headers may point anywhere gets the
// whole input read first when its colors are needed: into a spill file,
// then read like any file, or into memory where none can be made.
RunStatus Document::takeStream(platform::InputSource source, const Options& options, bool mayFlow) {
  ByteBuffer head;
  if (Status read = readAtLeast(source, head, formatPrefixSize()); !read) {
    return readFailure(read.failure(), display_name_);
  }
  // A plain file that reported size 0 and ends at once is empty, not a
  // stream whose bytes are made as it is read: it has a size, 0.
  if (source.regularFile() && head.size() == 0) {
    holdMemory(std::move(head));
    return {};
  }
  // A negative skip needs the end, which a stream does not know in advance.
  if (options.window.skip && options.window.skip->from_end) {
    return failed(ErrorMessage::SkipFromEndOfStream, display_name_);
  }
  // A format walked front to back colors the stream as it flows.
  if (std::unique_ptr<ForwardWalk> walk =
          mayFlow ? forwardWalkOf(head.bytes(), options) : nullptr) {
    holdFlowing(std::move(source), std::move(head));
    forward_ = std::move(walk);
    return {};
  }
  if (!needsWholeStream(head.bytes(), options)) {
    holdFlowing(std::move(source), std::move(head));
    return {};
  }
  Result<std::optional<platform::InputSource>> whole = readWholeStream(source, head);
  if (!whole) return readFailure(whole.failure(), display_name_);
  if (*whole) {
    holdFile(std::move(**whole));
  } else {
    holdMemory(std::move(head));
  }
  return {};
}

namespace {

// Whether `--section` gives a name that sections in different places hold,
// in a colormap colored without labels.
bool namesAmbiguousSection(const Colormap& colormap, const Options& options) {
  if (colormap.keepsLabels() || !colormap.keepsNames() || !options.window.section) return false;
  const std::string& name = *options.window.section;
  if (isStructureNumber(name) || onlySectionNamed(colormap, name)) return false;
  return std::any_of(
      colormap.sections().begin(), colormap.sections().end(),
      [&](const NamedSection& section) { return colormap.label(section.name) == name; });
}

}  // namespace

RunResult<Document> openDocument(const std::string& file, const Options& options, bool mayFlow) {
  Document document;
  document.display_name_ = file == "-" ? "<stdin>" : file;
  RunResult<platform::InputSource> source = openInput(file);
  if (!source) return source.error();
  if (source->seekable()) {
    document.holdFile(std::move(*source));
  } else if (RunStatus taken = document.takeStream(std::move(*source), options, mayFlow); !taken) {
    return taken.error();
  }
  if (document.forward_) return document;
  RunResult<Colormap> colormap = colorize(document.access(), options, document.display_name_);
  if (!colormap) return colormap.error();
  if (namesAmbiguousSection(*colormap, options)) {
    // The error lists the candidates by their numbers, which count the
    // labelled structures: only then are the labels worth their cost.
    colormap = colorize(document.access(), options, document.display_name_, true);
    if (!colormap) return colormap.error();
  }
  document.colormap_ = std::move(*colormap);
  return document;
}

}  // namespace lumo
