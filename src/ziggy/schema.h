#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>

#include "core/failure.h"
#include "ziggy/token.h"

namespace lumo::ziggy {

class TokenStream;
struct RecordSchema;

enum class FieldKind : std::uint8_t {
  OptionalBool,    // true, false, or null for absent
  OptionalRecord,  // null for absent, or a struct value of a nested record
  Custom,          // read by a reader of its own; required
};

/// Reads a Custom value from its first token: takes further tokens from the
/// stream itself and stops on the value's last token. Problems are recorded
/// through the stream.
using ValueReader = Status (*)(TokenStream& tokens, Token first, void* record);

/// One field of a record type: its name in the document (matched byte for
/// byte) and how its value reaches the record. Build fields with
/// optionalBool, optionalRecord and customField, which check the member
/// types and keep the casts of the untyped record pointer in one place.
struct FieldSchema {
  std::string_view name;
  FieldKind kind = FieldKind::OptionalBool;
  /// OptionalBool: the field inside the record.
  std::optional<bool>* (*boolean)(void* record) = nullptr;
  /// OptionalRecord: makes the nested record present and returns it.
  void* (*makePresent)(void* record) = nullptr;
  /// OptionalRecord: the nested record's fields.
  const RecordSchema* nested = nullptr;
  /// Custom: the value's reader.
  ValueReader read = nullptr;
};

/// The fields of a record type, in field order. A record type must not
/// contain itself, directly or through nested records: nesting in a
/// document is only as deep as the schema, which keeps the parser's
/// recursion bounded whatever the text.
struct RecordSchema {
  std::span<const FieldSchema> fields;
};

/// A RecordSchema that knows the record type it binds, so a document can
/// only be parsed into the type its fields were made for.
template <class Record>
struct Schema {
  RecordSchema untyped;
};

namespace detail {
template <class Member>
struct MemberOf;
template <class R, class V>
struct MemberOf<V R::*> {
  using Record = R;
  using Value = V;
};
}  // namespace detail

/// A field stored in `member`, a std::optional<bool> data member.
template <auto member>
constexpr FieldSchema optionalBool(std::string_view name) {
  using Record = typename detail::MemberOf<decltype(member)>::Record;
  using Value = typename detail::MemberOf<decltype(member)>::Value;
  static_assert(std::is_same_v<Value, std::optional<bool>>);
  FieldSchema field;
  field.name = name;
  field.kind = FieldKind::OptionalBool;
  field.boolean = [](void* record) { return &(static_cast<Record*>(record)->*member); };
  return field;
}

/// A nested record stored in `member`, a std::optional<Nested> data member,
/// read by `nested`, which must outlive the field (a constant, normally).
template <auto member, class Nested>
constexpr FieldSchema optionalRecord(std::string_view name, const Schema<Nested>& nested) {
  using Record = typename detail::MemberOf<decltype(member)>::Record;
  using Value = typename detail::MemberOf<decltype(member)>::Value;
  static_assert(std::is_same_v<Value, std::optional<Nested>>);
  FieldSchema field;
  field.name = name;
  field.kind = FieldKind::OptionalRecord;
  field.makePresent = [](void* record) -> void* {
    return &(static_cast<Record*>(record)->*member).emplace();
  };
  field.nested = &nested.untyped;
  return field;
}

/// A required field whose value `read` takes from the token stream and
/// stores into the record wherever it belongs.
template <class Record, Status (*read)(TokenStream& tokens, Token first, Record& record)>
constexpr FieldSchema customField(std::string_view name) {
  FieldSchema field;
  field.name = name;
  field.kind = FieldKind::Custom;
  field.read = [](TokenStream& tokens, Token first, void* record) {
    return read(tokens, first, *static_cast<Record*>(record));
  };
  return field;
}

}  // namespace lumo::ziggy
