#include "app/run.h"

#include <new>
#include <optional>
#include <span>
#include <string>

#include "cli/args.h"
#include "cli/error_report.h"
#include "config/options.h"
#include "parsers/registry.h"
#include "platform/platform.h"
#include "render/dump.h"
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
  if (options.ok()) return std::move(options).value();
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

ByteBuffer readInput(platform::InputSource& source, std::string_view displayName) {
  Result<ByteBuffer> bytes = source.readAll();
  if (bytes.ok()) return std::move(bytes).value();
  switch (bytes.failure()) {
    case Failure::OutOfMemory: fatal(ErrorMessage::OutOfMemory);
    case Failure::IsDir: fatal(ErrorMessage::IsDirectory, displayName);
    default: fatal(ErrorMessage::CannotRead, displayName);
  }
}

Colormap colorize(std::span<const std::uint8_t> input, std::optional<ParserKind> forced,
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

void dump(const Args& args, const Options& options) {
  if (!args.file) fatal(ErrorMessage::NoFileSpecified);
  const std::string& file = *args.file;
  const bool fromStdin = file == "-";
  const std::string displayName = fromStdin ? "<stdin>" : file;

  platform::InputSource source = acquireInput(file);
  ByteBuffer input = readInput(source, displayName);
  Colormap colormap = colorize(input.bytes(), options.parser, displayName);

  StdoutSink sink;
  OutputBuffer out(sink);
  if (Status dumped = writeDump(input.bytes(), colormap, options, out); !dumped) {
    failWriting(dumped.failure());
  }
  if (options.show_size && !options.raw) {
    if (Status footer = writeSizeFooter(input.size(), out); !footer) failWriting(footer.failure());
  }
  if (Status flushed = out.flush(); !flushed) failWriting(flushed.failure());
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
