#include "app/run.h"

#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "app/compare.h"
#include "app/document.h"
#include "app/forward_dump.h"
#include "app/run_error.h"
#include "app/window.h"
#include "cli/args.h"
#include "cli/error_report.h"
#include "config/options.h"
#include "core/checked_add.h"
#include "core/printable_name.h"
#include "platform/platform.h"
#include "platform/stderr_report.h"
#include "render/dump.h"
#include "render/dump_line.h"
#include "render/input_stream.h"
#include "render/legend.h"
#include "render/output.h"
#include "render/palette_listing.h"
#include "render/size_footer.h"
#include "render/structure_list.h"
#include "render/structure_map.h"

namespace lumo {
namespace {

RunResult<Options> resolve(const Args& args) {
  Result<Options> options = resolveOptions(args);
  if (options.ok()) return std::move(options).value();
  if (options.failure() == Failure::InvalidConfig) {
    return failed(ErrorMessage::InvalidConfig);
  }
  return failed(ErrorMessage::OptionsFailed);
}

RunStatus listPalette(const Options& options) {
  StdoutSink out;
  if (Status listed = writePaletteListing(options.palette, out); !listed) {
    return failed(ErrorMessage::FailureName, failureName(listed.failure()));
  }
  return {};
}

// The dump of a stream colored as it flows. A window's size line names the
// input's size, as for a file, so the stream is then read to its end.
DumpResult writeFlowing(Document& document, DumpWindow& window, const Options& options,
                        OutputBuffer& out, std::optional<std::uint64_t>& total) {
  const std::unique_ptr<InputStream> input = document.streamFrom(0);
  const LineFormatter formatter(effectiveOptions(options), options.palette);
  const bool readToEnd = effectiveOptions(options).show_size && options.window.any();
  const ForwardDumpResult dumped =
      writeForwardDump(*input, *document.forwardWalk(), formatter, out, window, readToEnd);
  total = dumped.total;
  return dumped.dump;
}

// The dump of the window, then the legend and the size line the options ask
// for. The size line names the document's size when it is known.
RunStatus writeOutput(Document& document, DumpWindow window, const Options& options) {
  std::optional<std::uint64_t> total = document.size();
  StdoutSink sink;
  OutputBuffer out(sink);
  DumpResult dumped;
  if (document.forwardWalk() != nullptr) {
    dumped = writeFlowing(document, window, options, out, total);
  } else {
    const std::unique_ptr<InputStream> input = document.streamFrom(window.start);
    dumped = writeDump(*input, document.colormap(), options, out, window);
    // A stream that ended while its skip dropped it gives its size too.
    if (!total) total = input->sizeFoundWhileSkipping();
  }
  switch (reportedFailure(dumped)) {
    case DumpFailure::Write: return writeFailure(dumped.written.failure());
    case DumpFailure::Read: return readFailure(dumped.read.failure(), document.displayName());
    case DumpFailure::None: break;
  }
  const DumpOptions shown = effectiveOptions(options);
  if (shown.legend) {
    const std::uint64_t end = window.start + dumped.size;
    if (Status legend =
            writeLegend(document.colormap(), window.start, end, options.palette, shown.color, out);
        !legend) {
      return writeFailure(legend.failure());
    }
  }
  if (shown.show_size) {
    Status footer = options.window.any()
                        ? out.append(windowFooterText(window.start, dumped.size, total))
                        : writeSizeFooter(dumped.size, out);
    if (!footer) return writeFailure(footer.failure());
  }
  if (Status flushed = out.flush(); !flushed) return writeFailure(flushed.failure());
  return {};
}

// Open the document, choose the window, write it: each step once, whatever
// the input is.
RunStatus dump(const Args& args, const Options& options) {
  if (!args.file) return failed(ErrorMessage::NoFileSpecified);
  RunResult<Document> document = openDocument(*args.file, options);
  if (!document) return document.error();
  RunResult<DumpWindow> window = windowOf(*document, options, SectionPolicy::Dump);
  if (!window) return window.error();
  return writeOutput(*document, *window, options);
}

// The map of the structures that meet the window, as lines or as JSON.
RunStatus list(const Args& args, const Options& options) {
  if (!args.file) return failed(ErrorMessage::NoFileSpecified);
  RunResult<Document> document = openDocument(*args.file, options);
  if (!document) return document.error();
  RunResult<DumpWindow> window = windowOf(*document, options, SectionPolicy::Dump);
  if (!window) return window.error();
  const StructureMap map = structureMap(document->colormap());
  std::vector<std::uint32_t> shown;
  std::vector<MapStop> stops = map.stops;
  if (options.window.any()) {
    const std::uint64_t end = saturatingAdd(window->start, window->length);
    shown = structuresMeeting(map, window->start, end);
    stops = stopsBefore(map, end);
  } else {
    for (const Structure& structure : map.structures) shown.push_back(structure.index);
  }
  StdoutSink sink;
  OutputBuffer out(sink);
  // JSON keeps its schema, an array of structures: the stops are left out.
  const Status written = args.json.value_or(false)
                             ? writeStructureJson(map, shown, out)
                             : writeStructureList(map, shown, options.palette,
                                                  effectiveOptions(options).color, out, {}, stops);
  if (!written) return writeFailure(written.failure());
  if (Status flushed = out.flush(); !flushed) return writeFailure(flushed.failure());
  return {};
}

// The modes that --list replaces or that cannot show a map.
RunStatus listConflicts(const Args& args, const Options& options) {
  if (args.diff) return failed(ErrorMessage::MutuallyExclusive, "list", "diff");
  if (options.raw) return failed(ErrorMessage::MutuallyExclusive, "list", "raw");
  if (args.show_palette.value_or(false)) {
    return failed(ErrorMessage::MutuallyExclusive, "list", "show-palette");
  }
  if (options.annotate) return failed(ErrorMessage::MutuallyExclusive, "list", "annotate");
  return {};
}

RunStatus runWith(int argc, char** argv) {
  const Args args = parseArgs(platform::commandLineArguments(argc, argv));
  RunResult<Options> options = resolve(args);
  if (!options) return options.error();
  const bool listing = args.show_palette.value_or(false);
  // From here on escape sequences may reach standard output; an interrupt
  // must not leave the terminal inside one.
  if (listing || (options->color && !options->raw)) platform::restoreTerminalOnInterrupt();
  if (options->list) {
    if (RunStatus conflict = listConflicts(args, *options); !conflict) return conflict;
    return list(args, *options);
  }
  if (args.diff) return compareFiles(args, *options);
  // Headings belong to a dump of one input, which the palette replaces.
  if (listing && options->annotate) {
    return failed(ErrorMessage::MutuallyExclusive, "annotate", "show-palette");
  }
  if (listing) return listPalette(*options);
  return dump(args, *options);
}

}  // namespace

void run(int argc, char** argv) {
  platform::prepareProcess();
  RunStatus done;
  try {
    done = runWith(argc, argv);
  } catch (const std::bad_alloc&) {
    // Small allocations (argument strings, messages) throw; the large ones
    // report OutOfMemory as values.
    done = failed(ErrorMessage::OutOfMemory);
  }
  if (done.ok()) platform::exitProcess(0);
  const RunError& error = done.error();
  if (!error.notice.empty()) {
    writeToStderr(error.notice);
    platform::exitProcess(0);
  }
  fatal(error.message, error.first, error.second);
}

}  // namespace lumo
