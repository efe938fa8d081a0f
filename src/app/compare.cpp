#include "app/compare.h"

#include <array>
#include <memory>
#include <string>

#include "app/document.h"
#include "app/window.h"
#include "core/printable_name.h"
#include "render/diff_dump.h"
#include "render/dump_line.h"
#include "render/output.h"

namespace lumo {
namespace {

// "Differences in NAME:" and a line for each structure that holds some.
Status writeTally(const DiffTally& tally, const Document& document, OutputBuffer& out) {
  if (tally.entries.empty()) return {};
  std::string text = "Differences in " + escapedName(document.displayName()) + ":\n";
  for (const DiffTally::Entry& entry : tally.entries) {
    const std::string_view label = document.colormap().label(entry.label);
    text += "  ";
    text += label.empty() ? std::string("no structure") : escapedName(label);
    text += ": " + std::to_string(entry.bytes) +
            (entry.bytes == 1 ? " byte differs\n" : " bytes differ\n");
    if (text.size() > 4096) {
      if (Status written = out.append(text); !written) return written;
      text.clear();
    }
  }
  return out.append(text);
}

RunStatus conflicts(const Args& args, const Options& options) {
  if (options.raw) return failed(ErrorMessage::MutuallyExclusive, "diff", "raw");
  if (args.show_palette.value_or(false)) {
    return failed(ErrorMessage::MutuallyExclusive, "diff", "show-palette");
  }
  // A comparison's lines show two inputs, whose structures begin apart.
  if (options.annotate) return failed(ErrorMessage::MutuallyExclusive, "diff", "annotate");
  if (*args.file == "-" && *args.diff == "-") return failed(ErrorMessage::BothStandardInput);
  return {};
}

}  // namespace

RunStatus compareFiles(const Args& args, const Options& options) {
  if (!args.file) return failed(ErrorMessage::NoFileSpecified);
  if (RunStatus conflict = conflicts(args, options); !conflict) return conflict;
  std::array<RunResult<Document>, 2> documents = {openDocument(*args.file, options, false),
                                                  openDocument(*args.diff, options, false)};
  std::array<DumpWindow, 2> windows{};
  for (std::size_t s = 0; s < 2; ++s) {
    if (!documents[s]) return documents[s].error();
    RunResult<DumpWindow> window = windowOf(*documents[s], options, SectionPolicy::Compare);
    if (!window) return window.error();
    windows[s] = *window;
  }
  const std::unique_ptr<InputStream> first = documents[0]->streamFrom(windows[0].start);
  const std::unique_ptr<InputStream> second = documents[1]->streamFrom(windows[1].start);
  const DumpOptions shown = effectiveOptions(options);
  StdoutSink sink;
  OutputBuffer out(sink);
  const DiffResult result =
      writeDiffDump({*first, documents[0]->colormap(), windows[0]},
                    {*second, documents[1]->colormap(), windows[1]}, options, out, shown.legend);
  if (!result.written) return writeFailure(result.written.failure());
  for (std::size_t s = 0; s < 2; ++s) {
    if (!result.read[s]) return readFailure(result.read[s].failure(), documents[s]->displayName());
  }
  if (shown.legend) {
    for (std::size_t s = 0; s < 2; ++s) {
      if (Status written = writeTally(result.tallies[s], *documents[s], out); !written) {
        return writeFailure(written.failure());
      }
    }
  }
  if (shown.show_size) {
    if (Status written = out.append(diffSummaryText(result.summary)); !written) {
      return writeFailure(written.failure());
    }
  }
  if (Status flushed = out.flush(); !flushed) return writeFailure(flushed.failure());
  return {};
}

}  // namespace lumo
