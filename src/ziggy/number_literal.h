#pragma once

#include <string_view>

#include "ziggy/token.h"

namespace lumo::ziggy {

/// Classifies the bytes of a number token (one optional leading "-", then
/// digits, "_", ".", "e", "E", "+" and "-") as Integer, Float or Invalid.
/// Digits may be grouped by single underscores; a fraction or an exponent
/// makes a float; a leading zero may only be followed by "." or an exponent.
TokenKind classifyNumber(std::string_view token);

}  // namespace lumo::ziggy
