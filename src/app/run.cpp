#include "app/run.h"

#include <algorithm>
#include <array>
#include <new>
#include <optional>
#include <span>
#include <string>

#include "app/input_adapters.h"
#include "app/whole_stream.h"
#include "app/window.h"
#include "cli/args.h"
#include "cli/error_report.h"
#include "config/options.h"
#include "core/printable_name.h"
#include "parsers/registry.h"
#include "platform/platform.h"
#include "platform/stderr_report.h"
#include "render/dump.h"
#include "render/dump_line.h"
#include "render/input_stream.h"
#include "render/legend.h"
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

// The readers of the colormap: colored bytes, the legend and --section.
// Without them the parser need not run at all.
bool needsColormap(const Options& options) {
  const DumpOptions shown = effectiveOptions(options);
  return shown.color || shown.legend || options.window.section;
}

bool needsNames(const Options& options) {
  return effectiveOptions(options).legend || options.window.section;
}

Colormap colorize(const RandomAccess& input, const Options& options, std::string_view displayName) {
  const std::optional<ParserKind> forced = options.parser;
  if (!needsColormap(options)) {
    // A forced parser must still match, as it would if the parser ran.
    std::array<std::uint8_t, kMagicPrefix> prefix{};
    const ByteSpan start(prefix.data(), input.readAt(0, prefix.data(), prefix.size()));
    if (forced && !matchesMagic(*forced, start)) {
      fatal(ErrorMessage::NonMatchingParser, displayName, parserName(*forced));
    }
    return Colormap();
  }
  Result<Colormap> colormap = buildColormap(input, forced, needsNames(options));
  if (colormap.ok()) return std::move(colormap).value();
  if (colormap.failure() == Failure::NonMatchingParser) {
    fatal(ErrorMessage::NonMatchingParser, displayName, parserName(*forced));
  }
  fatal(ErrorMessage::OutOfMemory);
}

// Ends the run when the window cannot be shown; a section without bytes is
// said on standard error, and nothing is shown (status 0).
DumpWindow windowOrExit(const Options& options, std::optional<std::uint64_t> size,
                        const Colormap& colormap, std::string_view displayName) {
  const WindowChoice choice = chooseWindow(options.window, size, colormap);
  switch (choice.problem) {
    case WindowProblem::None: return choice.window;
    case WindowProblem::SkipFromEndWithoutSize:
      fatal(ErrorMessage::SkipFromEndOfStream, displayName);
    case WindowProblem::NoNamedSections: fatal(ErrorMessage::NoNamedSections, displayName);
    case WindowProblem::UnknownSection:
      fatal(ErrorMessage::NoSectionNamed, escapedName(*options.window.section),
            sectionNameList(colormap));
    case WindowProblem::SectionWithoutBytes:
      writeToStderr("lumo: section " + escapedName(*options.window.section) +
                    " has no bytes in the file\n");
      platform::exitProcess(0);
  }
  return choice.window;
}

[[noreturn]] void listPalette(const Options& options) {
  StdoutSink out;
  if (Status listed = writePaletteListing(options.palette, out); !listed) {
    fatal(ErrorMessage::FailureName, failureName(listed.failure()));
  }
  platform::exitProcess(0);
}

// `total` is the input's size when known; a window's size line names it. A
// stream that ended while its skip dropped it gives its size too.
void writeOutput(InputStream& input, const Colormap& colormap, const Options& options,
                 std::string_view displayName, DumpWindow window,
                 std::optional<std::uint64_t> total, const DroppingStream* skipped = nullptr) {
  StdoutSink sink;
  OutputBuffer out(sink);
  DumpResult dumped = writeDump(input, colormap, options, out, window);
  switch (reportedFailure(dumped)) {
    case DumpFailure::Write: failWriting(dumped.written.failure());
    case DumpFailure::Read: failReading(dumped.read.failure(), displayName);
    case DumpFailure::None: break;
  }
  if (!total && skipped != nullptr) total = skipped->endedWhileSkipping();
  const DumpOptions shown = effectiveOptions(options);
  if (shown.legend) {
    const std::uint64_t end = window.start + dumped.size;
    const std::vector<LegendEntry> entries =
        legendEntries(colormap, window.start, end, total.value_or(end));
    if (Status legend = writeLegend(entries, options.palette, shown.color, out); !legend) {
      failWriting(legend.failure());
    }
  }
  if (shown.show_size) {
    Status footer = options.window.any()
                        ? out.append(windowFooterText(window.start, dumped.size, total))
                        : writeSizeFooter(dumped.size, out);
    if (!footer) failWriting(footer.failure());
  }
  if (Status flushed = out.flush(); !flushed) failWriting(flushed.failure());
}

// A file with a size is never held in memory: the parsers read its headers
// in place and the dump reads it front to back.
void dumpFile(platform::InputSource& source, const Options& options, std::string_view displayName) {
  const FileAccess access(source);
  const Colormap colormap = colorize(access, options, displayName);
  const DumpWindow window = windowOrExit(options, source.size(), colormap, displayName);
  FileStream stream(source, window.start);
  writeOutput(stream, colormap, options, displayName, window, source.size());
}

// A stream's first bytes decide the parser. Most need nothing more, so the
// rest streams through; a parser whose headers may point anywhere (the
// registry says which) gets the whole input read first when its colors are
// needed: into a spill file, which is then dumped like any file, or into
// memory where none can be made.
void dumpStream(platform::InputSource& source, const Options& options,
                std::string_view displayName) {
  ByteBuffer head;
  if (Status read = readAtLeast(source, head, kMagicPrefix); !read) {
    failReading(read.failure(), displayName);
  }
  const ParserKind kind = options.parser.value_or(detectParser(head.bytes()));
  // A negative skip needs the end, which a stream does not know in advance.
  if (options.window.skip && options.window.skip->from_end) {
    fatal(ErrorMessage::SkipFromEndOfStream, displayName);
  }
  if (parserReadsAnywhere(kind) && matchesMagic(kind, head.bytes()) && needsColormap(options)) {
    Result<std::optional<platform::InputSource>> whole = readWholeStream(source, head);
    if (!whole) failReading(whole.failure(), displayName);
    if (*whole) return dumpFile(**whole, options, displayName);
    const Colormap colormap = colorize(MemoryAccess(head.bytes()), options, displayName);
    const DumpWindow window = windowOrExit(options, head.size(), colormap, displayName);
    // A skip past the end starts the window there, to name it; nothing is read.
    const std::size_t start =
        static_cast<std::size_t>(std::min<std::uint64_t>(window.start, head.size()));
    MemoryStream stream(head.bytes().subspan(start));
    writeOutput(stream, colormap, options, displayName, window, head.size());
    return;
  }
  const Colormap colormap = colorize(MemoryAccess(head.bytes()), options, displayName);
  const DumpWindow window = windowOrExit(options, std::nullopt, colormap, displayName);
  PrefixedStream stream(head.bytes(), source);
  DroppingStream windowed(stream, window.start);
  writeOutput(windowed, colormap, options, displayName, window, std::nullopt, &windowed);
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
    const bool listing = args.show_palette.value_or(false);
    // From here on escape sequences may reach standard output; an interrupt
    // must not leave the terminal inside one.
    if (listing || (options.color && !options.raw)) platform::restoreTerminalOnInterrupt();
    if (listing) listPalette(options);
    dump(args, options);
  } catch (const std::bad_alloc&) {
    // Small allocations (argument strings, messages) throw; the large ones
    // report OutOfMemory as values.
    fatal(ErrorMessage::OutOfMemory);
  }
  platform::exitProcess(0);
}

}  // namespace lumo
