#include "app/run.h"

#include <new>
#include <optional>
#include <span>
#include <string>

#include "app/input_adapters.h"
#include "cli/args.h"
#include "cli/error_report.h"
#include "config/options.h"
#include "parsers/registry.h"
#include "platform/platform.h"
#include "render/dump.h"
#include "render/input_stream.h"
#include "render/output.h"
#include "render/palette_listing.h"
#include "render/size_footer.h"

namespace lumo {
namespace {

[[noreturn]] void failWriting(Failure failure) {
  if (failure == Failure::BrokenPipe) fatal(ErrorMessage::BrokenPipe);
  if (failure == Failure::OutOfMemory) fatal(ErrorMessage::OutOfMemory);
  fatal(ErrorMessage::WriteFailed, failureName(failure));
}

Options resolveOrFail(const Args& args) {
  Result<Options> options = resolveOptions(args);
  if (options.ok()) return options.value();
  if (options.failure() == Failure::InvalidConfig) fatal(ErrorMessage::InvalidConfig);
  fatal(ErrorMessage::OptionsFailed);
}

platform::InputSource acquireInput(const std::string& file) {
  if (file == "-") return platform::InputSource::standardInput();
  Result<platform::InputSource> opened = platform::InputSource::open(file);
  if (opened.ok()) return std::move(opened).value();
  switch (opened.failure()) {
    case Failure::IsDir: fatal(ErrorMessage::IsDirectory, file);
    case Failure::FileNotFound: fatal(ErrorMessage::NotFound, file);
    default: fatal(ErrorMessage::CouldNotOpen, file);
  }
}

// A read failure names the input; memory and directories have their own.
[[noreturn]] void failReading(Failure failure, std::string_view displayName) {
  switch (failure) {
    case Failure::OutOfMemory: fatal(ErrorMessage::OutOfMemory);
    case Failure::IsDir: fatal(ErrorMessage::IsDirectory, displayName);
    default: fatal(ErrorMessage::CannotRead, displayName);
  }
}

Colormap colorize(const RandomAccess& input, std::optional<ParserKind> forced,
                  std::string_view displayName) {
  Result<Colormap> colormap = buildColormap(input, forced);
  if (colormap.ok()) return std::move(colormap).value();
  if (colormap.failure() == Failure::NonMatchingParser) {
    fatal(ErrorMessage::NonMatchingParser, displayName, parserName(*forced));
  }
  fatal(ErrorMessage::OutOfMemory);
}

[[noreturn]] void listPalette(const Options& options) {
  StdoutSink out;
  if (Status listed = writePaletteListing(options.palette, out); !listed) {
    fatal(ErrorMessage::FailureName, failureName(listed.failure()));
  }
  platform::exitProcess(0);
}

void writeOutput(InputStream& input, const Colormap& colormap, const Options& options,
                 std::string_view displayName) {
  StdoutSink sink;
  OutputBuffer out(sink);
  DumpResult dumped = writeDump(input, colormap, options, out);
  if (!dumped.written) failWriting(dumped.written.failure());
  if (!dumped.read) failReading(dumped.read.failure(), displayName);
  if (options.show_size && !options.raw) {
    if (Status footer = writeSizeFooter(dumped.size, out); !footer) failWriting(footer.failure());
  }
  if (Status flushed = out.flush(); !flushed) failWriting(flushed.failure());
}

// A file with a size is never held in memory: the parsers read its headers
// in place and the dump reads it front to back.
void dumpFile(platform::InputSource& source, const Options& options, std::string_view displayName) {
  const FileAccess access(source);
  const Colormap colormap = colorize(access, options.parser, displayName);
  FileStream stream(source);
  writeOutput(stream, colormap, options, displayName);
}

// A stream's first bytes decide the parser. Most need nothing more, so the
// rest streams through; a parser whose headers may point anywhere (the
// registry says which) gets the whole input read first.
void dumpStream(platform::InputSource& source, const Options& options,
                std::string_view displayName) {
  ByteBuffer head;
  if (Status read = readAtLeast(source, head, kMagicPrefix); !read) {
    failReading(read.failure(), displayName);
  }
  const ParserKind kind = options.parser.value_or(detectParser(head.bytes()));
  if (parserReadsAnywhere(kind) && matchesMagic(kind, head.bytes())) {
    if (Status read = readRest(source, head); !read) failReading(read.failure(), displayName);
    const Colormap colormap = colorize(MemoryAccess(head.bytes()), options.parser, displayName);
    MemoryStream stream(head.bytes());
    writeOutput(stream, colormap, options, displayName);
    return;
  }
  const Colormap colormap = colorize(MemoryAccess(head.bytes()), options.parser, displayName);
  PrefixedStream stream(head.bytes(), source);
  writeOutput(stream, colormap, options, displayName);
}

void dump(const Args& args, const Options& options) {
  if (!args.file) fatal(ErrorMessage::NoFileSpecified);
  const std::string& file = *args.file;
  const std::string displayName = file == "-" ? "<stdin>" : file;
  platform::InputSource source = acquireInput(file);
  if (source.seekable()) {
    dumpFile(source, options, displayName);
  } else {
    dumpStream(source, options, displayName);
  }
}

}  // namespace

void run(int argc, char** argv) {
  platform::prepareProcess();
  try {
    const Args args = parseArgs(platform::commandLineArguments(argc, argv));
    const Options options = resolveOrFail(args);
    if (args.show_palette.value_or(false)) listPalette(options);
    dump(args, options);
  } catch (const std::bad_alloc&) {
    // Small allocations (argument strings, messages) throw; the large ones
    // report OutOfMemory as values.
    fatal(ErrorMessage::OutOfMemory);
  }
  platform::exitProcess(0);
}

}  // namespace lumo
