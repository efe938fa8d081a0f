#pragma once

#include <string_view>

#include "core/failure.h"
#include "ziggy/diagnostic.h"
#include "ziggy/schema.h"

namespace lumo::ziggy {

/// Reads `text` as one Ziggy document whose top level is a struct value
/// (braced, or a brace-less list of fields) of `schema`'s record, binding it
/// to `record` as it goes. Stops at the first problem: Syntax with the
/// problem recorded in `diagnostic`, or OutOfMemory with nothing recorded.
/// On failure `record` holds whatever was bound so far and is to be
/// discarded. Takes time linear in the text.
Status parseDocumentInto(std::string_view text, const RecordSchema& schema, Diagnostic& diagnostic,
                         void* record);

/// The typed form of parseDocumentInto: a Record with every field the
/// document did not give left as it is after value-initialisation.
template <class Record>
Result<Record> parseDocument(std::string_view text, const Schema<Record>& schema,
                             Diagnostic& diagnostic) {
  Record record{};
  Status status = parseDocumentInto(text, schema.untyped, diagnostic, &record);
  if (!status) return status.failure();
  return record;
}

}  // namespace lumo::ziggy
